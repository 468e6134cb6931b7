// SPDX-License-Identifier: MIT
#include "app/charset.h"
#include "app/window.h"
#include "portname.h"

#include "platform/mscomm.h"
#include "platform/winsock.h"

#include <utility>

void UDP::BTNOpenCom_Click()
{
    tbSendData.setText({});
    // The serial port and the UDP link are used one at a time.
    if (Winsock1.state() == 1) {
        refuse(Why::LinkUp);
        return;
    }
    try {
        if (PortOpened == 1) {
            closePort();
            return;
        }
        const std::pair<OptionButton &, const char *> speeds[] = {
            {Option6, "115200,n,8,1"}, {Option5, "19200,n,8,1"}, {Option4, "9600,n,8,1"},
            {Option3, "4800,n,8,1"},   {Option2, "2400,n,8,1"},  {Option1, "1200,n,8,1"},
        };
        for (const auto &[option, settings] : speeds)
            if (option.Value() == 1)
                MSComm1.setSettings(settings);
        MSComm1.setCommPort(commPortNumber(Comm_number.Text()));
        MSComm1.setPortOpen(true);
        if (!MSComm1.portOpen())
            return;
        Pic.setVisible(true);
        Comm_number.setBackColor(Colour::Green);
        TMRComm.setEnabled(true);
        BTNOpenCom.setCaption("Close");
        PortOpened = 1;
        for (OptionButton *option : {&Option1, &Option2, &Option3, &Option4, &Option5, &Option6})
            option->setEnabled(false);
        Frame5.setEnabled(true);
        ComboPorts.setVisible(false);
        tbSendData.SetFocus();
        linkChanged(MSComm1.deviceName(MSComm1.commPort()).toLocal8Bit());
        rememberDevice();
    } catch (const Failure &failure) {
        showFailure(failure);
    }
}

void UDP::closePort()
{
    m_deviceGone = false;
    TMRDevice.setEnabled(false);
    PortOpened = 0;
    BTNOpenCom.setCaption("Open");
    TMRComm.setEnabled(false);
    MSComm1.setPortOpen(false);
    Comm_number.setBackColor(Colour::WindowBackground);
    Pic.setVisible(false);
    for (OptionButton *option : {&Option1, &Option2, &Option3, &Option4, &Option5, &Option6})
        option->setEnabled(true);
    Frame5.setEnabled(false);
    ComboPorts.setVisible(true);
    linkChanged({});
}

void UDP::portLost(const Failure &failure)
{
    // Told once: a tick that runs while the box is open finds the port closed already.
    if (PortOpened != 1 || m_deviceGone)
        return;
    if (m_deviceWaitMs != 0) {
        waitForDevice(failure);
        return;
    }
    // Closed before the box is shown: the box runs an event loop of its own, in which the poll would tick on.
    try {
        closePort();
    } catch (const Failure &) {
        // The device is gone all the same; the box below says so.
    }
    showFailure(failure);
}

void UDP::Command8_Click()
{
    if (Check3.Value() != 1 || !MSComm1.portOpen()) {
        refuse(MSComm1.portOpen() ? Why::ViaUsbOff : Why::PortClosed);
        return;
    }
    // Straight to the port: never framed or wrapped, not logged, not echoed.
    try {
        const QByteArray command = QByteArray("UART 2,7") + CRLF;
        MSComm1.output(command);
        monitorWritten(command, false);
        countSent(command.size());
    } catch (const Failure &) {
        // No failure handler of its own: the window keeps running.
    }
}

void UDP::Command7_Click()
{
    tbSendData.SetFocus();
    if (Winsock1.state() != 1) {
        refuse(Why::NotConnected);
        return;
    }
    // Straight to the socket: never wrapped as an "MDC " command, even with Check2 set.
    try {
        const QByteArray command = QByteArray("UART 2,7") + CRLF;
        Winsock1.sendData(command);
        monitorSent(command);
        countSent(command.size());
    } catch (const Failure &) {
        // No failure handler of its own: the window keeps running.
    }
}

void UDP::Check1_Click()
{
    tbSendData.SetFocus();
}

void UDP::Comm_number_Change()
{
    qint16 number = 0;
    QByteArray tip;
    try {
        number = commPortNumber(Comm_number.Text());
        tip = Charset::encode(MSComm1.deviceName(number));
    } catch (const Failure &) {
        // No number in the box: the ports present are still worth a look.
    }
    // The tip and the picker list the same ports in the same words.
    const QList<SerialPortInfo> present = MSComm1.presentPorts();
    QList<QByteArray> lines;
    for (const SerialPortInfo &port : present) {
        QByteArray line = (port.number > 0 ? "COM" + QByteArray::number(port.number) : "no number") + ": " +
                          Charset::encode(port.device);
        if (!port.description.isEmpty())
            line += ", " + Charset::encode(port.description);
        if (!port.serialNumber.isEmpty())
            line += ", serial number " + Charset::encode(port.serialNumber);
        lines << line;
    }
    tip += tip.isEmpty() ? "" : "\n";
    tip += present.isEmpty() ? "No serial port found on this computer" : "Serial ports on this computer:";
    for (qsizetype i = 0; i < lines.size(); ++i)
        tip += "\n" + lines[i] + (number > 0 && present[i].number == number ? "  <- this port" : "");
    Comm_number.setToolTipText(tip);
    m_pickerPorts = present;
    ComboPorts.setItems(present.isEmpty() ? QList<QByteArray>{"No serial port found on this computer"} : lines);
}

void UDP::ComboPorts_DropDown(bool open)
{
    if (open)
        Comm_number_Change();
    // Adapters plugged in or out while the list is open come and go in it.
    TMRPorts.setEnabled(open);
}

void UDP::TMRPorts_Timer()
{
    Comm_number_Change();
}

void UDP::ComboPorts_Click()
{
    const int picked = ComboPorts.ListIndex();
    // The picker shows no text of its own: the port box shows what was picked.
    ComboPorts.setText({});
    tbSendData.SetFocus();
    if (picked < 0 || picked >= m_pickerPorts.size())
        return;
    const SerialPortInfo &port = m_pickerPorts[picked];
    if (port.number > 0)
        Comm_number.setText("COM" + QByteArray::number(port.number));
    else
        refuse(Why::NoPortNumber, Charset::encode(port.device));
}
