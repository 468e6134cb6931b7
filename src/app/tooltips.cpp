// SPDX-License-Identifier: MIT
// The tool tips: what each control does, in plain words, in one table. The port box's tip is built where its
// number changes (serial/port.cpp), since it names the devices present.
#include "window.h"

namespace
{
struct Tip {
    Element &element;
    const char *text;
};
} // namespace

void UDP::giveToolTips()
{
    const Tip tips[] = {
        {ComboRemoteIP, "The device's address: an IP address or a host name, with :port when the device does not "
                        "listen on port 111 (10.0.0.7:5111)"},
        {Add_ip, "Adds the address shown to the list"},
        {Del_ip, "Removes the address shown from the list"},
        {SaveIP, "Saves the list of addresses to terminal.ini, for the next start"},
        {YesConnect, "The link is up and the device has answered"},
        {NoConnect, "No link: Connect (UDP) or Open (serial port) first"},
        {cbBind, "Connects to the device over UDP"},
        {Command1, "Ends the UDP link"},
        {Text2, "The name of the file on the device's flash disk"},
        {Command3, "Copies a file of this computer onto the device's flash disk, under the name given"},
        {Command4, "Copies the named file from the device's flash disk into a file of this computer"},
        {Command5, "Ends the flash-disk transfer and closes the file on the device"},
        {vbalProgressBar1, "How far the flash-disk transfer has come"},
        {Pic, "The serial port is open: the mark blinks while the port is polled, turns green when a command goes "
              "out and red when bytes come in"},
        {ComboPorts, "The serial ports on this computer, with the number of each: pick one to put its number in the "
                     "port box"},
        {BTNOpenCom, "Opens the serial port named in the port box at the speed chosen, or closes it"},
        {Option1, "Serial speed 1200 baud"},
        {Option2, "Serial speed 2400 baud"},
        {Option3, "Serial speed 4800 baud"},
        {Option4, "Serial speed 9600 baud"},
        {Option5, "Serial speed 19200 baud"},
        {Option6, "Serial speed 115200 baud"},
        {Check1, "Modbus RTU: commands typed go on the serial port to the Modbus station in Addr, as RTU frames "
                 "(or as MDC lines with Via USB ticked)"},
        {Text3, "The Modbus station that commands on the serial port go to"},
        {Check3, "Via USB: commands go to the station as MDC text lines instead of RTU frames; Init Port needs it"},
        {Command8, "Sets up the device's Modbus port: sends UART 2,7 on the serial port (with Via USB ticked)"},
        {Check2, "Eth to MODBUS: commands typed go over UDP to the Modbus station in Addr, as MDC commands; the "
                 "flash disk is out of reach meanwhile"},
        {Text4, "The Modbus station that MDC commands over UDP go to"},
        {Command7, "Sets up the device's Modbus port: sends UART 2,7 over UDP"},
        {Command10, "Downloads a BASIC program from a .bas file to the device, line by line"},
        {Command9, "Sends the next program line by hand"},
        {Command14, "Stops the download"},
        {Command11, "Lists the device's program into a .bas file"},
        {Command12, "Erases the device's program; the device takes about 20 s"},
        {Command13, "Asks the device for its version (VER)"},
        {Command2, "Empties the receive pane (the log keeps everything)"},
        {tbReceiveData, "What the device sends. Right-click to copy, find, save, or show it as hex or with the time "
                        "each reply came"},
        {tbSendData, kSendDataHint},
        {Command15, "Turns the command line to upper case"},
        {Command16, "Turns the command line to lower case"},
    };
    for (const Tip &tip : tips)
        tip.element.setToolTipText(tip.text);
}
