// SPDX-License-Identifier: MIT
#pragma once

#include "devicelock.h"
#include "element.h"
#include "filetable.h"
#include "platform/failure.h"
#include "status.h"

#include "monitor/record.h"
#include "platform/mscomm.h"
#include "platform/platform.h"
#include "program/listingscan.h"
#include "settings/commandfile.h"

#include <QByteArray>

#include <array>
#include <optional>
#include <utility>

class CommonDialog;
class MessageBox;
class System;
class Winsock;

/// The device's factory address, offered when "terminal.ini" yields none.
inline constexpr char kDefaultAddress[] = "192.168.0.100";
inline constexpr char kCaption[] = "Vantrel V3.1.3";
inline constexpr char kAppTitle[] = "Vantrel";
inline constexpr char CRLF[] = "\r\n";
/// The receive pane keeps the most recent 8 MB of text (the log keeps everything), so that hours of console
/// output cost bounded memory in the model and in the view. Not 8 MiB: the view holds two bytes a character, and
/// a full pane of bare LF lines would then just outgrow the 16 MiB block its text buffer grows to, which doubles
/// it and makes its memory swing by 13 MiB under steady traffic.
inline constexpr qsizetype kReceivePaneLimit = 8'000'000;

/// The main window: its elements, the terminal state and the handlers.
class UDP : public Form
{
public:
    explicit UDP(const Platform &platform);

    // Elements, in the order of the element table. Containers come before what they hold.
    Frame Frame1{this, "Frame1", "Link", {0, 0, 262, 57}};
    Label Label1_1{this, "Label1(1)", " Host", {4, 16, 25, 17}, &Frame1};
    ComboBox ComboRemoteIP{this, "ComboRemoteIP", {32, 8, 121, 21}, &Frame1};
    Button Add_ip{this, "Add_ip", "Add", {32, 32, 33, 17}, &Frame1};
    Button Del_ip{this, "Del_ip", "Del", {72, 32, 33, 17}, &Frame1};
    Button SaveIP{this, "SaveIP", "Save", {112, 32, 41, 17}, &Frame1};
    Image YesConnect{this, "YesConnect", true, {152, 8, 32, 32}, &Frame1, Hidden};
    Image NoConnect{this, "NoConnect", false, {152, 16, 32, 32}, &Frame1};
    Button cbBind{this, "cbBind", "Connect", {184, 8, 65, 17}, &Frame1};
    Button Command1{this, "Command1", "Disconnect", {184, 32, 65, 17}, &Frame1};

    Frame Frame2{this, "Frame2", "Flash disk", {268, 0, 297, 57}, Disabled};
    Label Label7{this, "Label7", "File name:", {8, 13, 61, 17}, &Frame2};
    TextBox Text2{this, "Text2", "SAMPLE.TXT", {64, 8, 97, 19}, &Frame2};
    Button Command3{this, "Command3", "Send", {168, 8, 37, 17}, &Frame2};
    Button Command4{this, "Command4", "Recieve", {212, 8, 57, 17}, &Frame2};
    Button Command5{this, "Command5", "End", {236, 32, 33, 17}, &Frame2};
    ProgressBar vbalProgressBar1{this, "vbalProgressBar1", "NO FILE", {8, 32, 221, 17}, &Frame2};

    Frame Frame4{this, "Frame4", "Comm's", {0, 56, 266, 41}};
    Label Label1_0{this, "Label1(0)", "Port:(1-9)", {4, 16, 53, 17}, &Frame4};
    TextBox Comm_number{this, "Comm_number", "COM3", {52, 16, 37, 19}, &Frame4};
    Shape Pic{this, "Pic", Colour::Yellow, {92, 16, 13, 17}, &Frame4, Hidden};
    /// The ports present, to pick one from; in Pic's place while the port is closed.
    ComboBox ComboPorts{this, "ComboPorts", {92, 16, 13, 17}, &Frame4, false};
    Button BTNOpenCom{this, "BTNOpenCom", "Open", {112, 16, 37, 17}, &Frame4};
    Label Label10{this, "Label10", "speed", {152, 7, 37, 17}, &Frame4};
    Label Label11{this, "Label11", "12/24/48/96/19/115", {156, 24, 104, 15}, &Frame4};
    OptionButton Option1{this, "Option1", "Option1", {188, 8, 13, 17}, &Frame4};
    OptionButton Option2{this, "Option2", "Option2", {200, 8, 13, 17}, &Frame4};
    OptionButton Option3{this, "Option3", "Option3", {212, 8, 13, 17}, &Frame4};
    OptionButton Option4{this, "Option4", "Option4", {224, 8, 13, 17}, &Frame4};
    OptionButton Option5{this, "Option5", "Option5", {236, 8, 13, 17}, &Frame4};
    OptionButton Option6{this, "Option6", "Option6", {248, 8, 16, 17}, &Frame4};

    Frame Frame5{this, "Frame5", "Modbus RTU", {272, 56, 157, 41}, Disabled};
    Label Label8{this, "Label8", "Addr", {4, 16, 29, 17}, &Frame5};
    TextBox Text3{this, "Text3", "16", {32, 16, 21, 19}, &Frame5};
    Label Label12{this, "Label12", "Via USB", {56, 12, 33, 25}, &Frame5};
    CheckBox Check3{this, "Check3", "Check3", {80, 16, 13, 13}, &Frame5};
    Button Command8{this, "Command8", "Init Port", {100, 16, 49, 17}, &Frame5};
    CheckBox Check1{this, "Check1", "Check1", {136, 0, 13, 17}, &Frame5};

    Frame Frame6{this, "Frame6", "Eth to MODBUS", {436, 56, 129, 41}, Disabled};
    Label Label9{this, "Label9", "Addr", {12, 16, 25, 17}, &Frame6};
    TextBox Text4{this, "Text4", "16", {44, 16, 25, 19}, &Frame6};
    Button Command7{this, "Command7", "InitPort", {72, 16, 45, 17}, &Frame6};
    CheckBox Check2{this, "Check2", "Check2", {104, 0, 13, 13}, &Frame6};

    Frame Frame3{this, "Frame3", "BASIC Files", {0, 96, 485, 41}};
    Button Command10{this, "Command10", "Open File and  Download", {4, 16, 133, 17}, &Frame3};
    Button Command9{this, "Command9", ">>", {144, 16, 25, 17}, &Frame3};
    Button Command14{this, "Command14", "X", {176, 16, 17, 17}, &Frame3};
    Button Command11{this, "Command11", "Save Programm", {200, 16, 93, 17}, &Frame3};
    Button Command12{this, "Command12", "New Programm - wait 20s", {304, 16, 133, 17}, &Frame3};
    Button Command13{this, "Command13", "Info", {444, 16, 33, 17}, &Frame3};

    Frame Frame7{this, "Frame7", "", {488, 96, 77, 41}};
    Button Command2{this, "Command2", "Clear", {504, 112, 41, 17}, nullptr};
    TextBox tbReceiveData{this, "tbReceiveData", "", {0, 136, 569, 553}, nullptr, Shown, true, true};
    TextBox tbSendData{this, "tbSendData", kSendDataHint, {0, 688, 553, 25}, nullptr};
    Button Command15{this, "Command15", "+", {553, 689, 13, 13}, nullptr};
    Button Command16{this, "Command16", "-", {553, 702, 13, 13}, nullptr};

    // Laid out below the client area: they hold values and take part in the logic.
    Label Label3{this, "Label3", "Send Data", {88, 768, 61, 17}, nullptr};
    Label Label4{this, "Label4", "Receive Data", {448, 768, 69, 17}, nullptr};
    Label Label5{this, "Label5", "Remote-Port", {4, 800, 65, 17}, nullptr};
    TextBox tbRemotePort{this, "tbRemotePort", "", {84, 792, 65, 25}, nullptr, Shown, false, true};
    Label Label2{this, "Label2", "Local-Port", {156, 792, 57, 17}, nullptr};
    TextBox tbLocalPort{this, "tbLocalPort", "", {220, 792, 69, 25}, nullptr};
    Label Label6{this, "Label6", "My IP", {432, 800, 29, 17}, nullptr};
    TextBox Text1{this, "Text1", "", {472, 800, 101, 19}, nullptr, Shown, false, true};
    Button cbSendData{this, "cbSendData", "Send", {344, 800, 73, 17}, nullptr, Disabled};
    Button Command6{this, "Command6", "SEND_COMM", {344, 824, 85, 25}, nullptr};
    Button BTNCloseCom{this, "BTNCloseCom", "Close Port", {120, 832, 65, 17}, nullptr, Disabled};

    Timer TMRComm{this, "TMRComm", 20};
    /// Restarted by every reply during a flash transfer; a tick means the device has been silent for 5 s.
    Timer TMRFlash{this, "TMRFlash", 5000};
    /// Runs while the device erases its program after NEW (about 20 s): its answer or a tick ends the device's lock.
    Timer TMRNew{this, "TMRNew", 25000};
    /// Sends the saved command that repeats, at its interval.
    Timer TMRRepeat{this, "TMRRepeat", 1000};
    /// Looks for the open port's device while it is gone.
    Timer TMRDevice{this, "TMRDevice", 500};
    /// Keeps the port picker's list up to date while it is dropped down.
    Timer TMRPorts{this, "TMRPorts", 1000};

    // Non-visual components.
    Winsock &Winsock1;
    MSComm &MSComm1;
    CommonDialog &CommonDialog1;
    FileTable files;
    /// Every unit sent and received, both ways (monitor/): the wire monitor and `vantrel --trace` read it.
    Monitor::Record monitor;

    // Terminal state, in declaration order.
    qint16 LogFileNum = 0;
    std::array<QByteArray, 33> CmdHistory{};
    qint16 HistIndex = 0;
    qint16 HistRecalled = 0;
    qint32 FlashCount = 0;
    qint16 FlashWriting = 0;
    qint16 FlashReading = 0;
    qint16 FlashLastBlock = 0;
    qint32 FlashPos = 0;
    QByteArray FlashData; // byte i (1-based) is FlashData[i - 1]
    qint16 FlashFile = 0;
    qint16 ProgSaveMode = 0;
    qint16 ProgDownloadMode = 0;
    qint16 ProgFileNum = 0;
    std::array<QByteArray, 2049> ProgLine{};
    qint16 ProgLineIdx = 0;
    qint16 ProgLineCount = 0;
    qint16 PortBlinkCount = 0;
    QByteArray ModbusRxBuf;
    qint16 PortIdleCount = 0;
    QByteArray RxText;
    QByteArray CrcCalc;
    QByteArray CrcRecv;
    qint16 RetVal = 0;
    qint16 ModbusByteCount = 0;
    qint16 PortOpened = 0;

    // app/status.cpp
    /// The status line, display only: the link as it stands, why the last action did nothing, the silence since
    /// a command went out, and the bytes both ways, joined by " | ". Nothing in the model reads it back.
    QString statusText() const;
    QString statusLink() const;
    QString statusReason() const;
    QString statusSilence() const;
    /// "running without a log" when the log could not be opened at start-up.
    QString statusLog() const;
    QString statusTraffic() const;
    Why why() const { return m_why; }
    /// The action under way does nothing, for this reason (`what` names the host, the port...).
    void refuse(Why why, const QByteArray &what = {});
    /// A new action starts: the reason of the last one no longer stands.
    void clearRefusal()
    {
        if (m_why != Why::None)
            refuse(Why::None);
    }
    /// Bytes handed to the socket or the port; a reply is awaited from then on.
    void countSent(qsizetype bytes);
    /// Bytes received: whatever was awaited has had its answer.
    void countReceived(qsizetype bytes);
    qint64 bytesSent() const { return m_bytesSent; }
    qint64 bytesReceived() const { return m_bytesReceived; }
    /// A command went out and nothing has come back since.
    bool awaitingReply() const { return m_sentAt >= 0; }
    /// The link came up to `target` ("host:port", or the serial port's device), or went down (empty).
    void linkChanged(const QByteArray &target);

    // app/lifecycle.cpp
    void Form_Load();
    void Form_Unload();
    void Command2_Click();
    void Command15_Click();
    void Command16_Click();
    /// Saves the receive pane's bytes, unchanged, to a file the user chooses; the file is replaced only once all
    /// of it is written.
    void tbReceiveData_SaveAs();

    // app/devicelock.cpp
    /// Takes the lock of the device the open link reaches, before an exchange that must not interleave with another
    /// terminal's; false, told with a box, while another terminal holds it.
    bool lockDevice();
    /// NEW went out: the device stays locked until its answer, or until it has had the time to erase.
    void newSent();
    /// Lets the device's lock go once no exchange holds it. Called at the end of each event.
    void settleDeviceLock();
    void TMRNew_Timer();

    // app/tooltips.cpp
    /// Gives each control the tool tip that says what it does.
    void giveToolTips();

    // app/events.cpp
    /// Names the handler that each element's click, key or tick calls; the view only forwards the events.
    void wireEvents();

    // app/log.cpp
    /// Appends the text and CR LF to the log; skipped when the log could not be opened.
    void logLine(const QByteArray &text);
    /// Appends the bytes as they are to the log; skipped when the log could not be opened.
    void logRaw(const QByteArray &bytes);
    /// Writes what a LogBatch gathered; the send primitives call it before anything goes out.
    void flushLog();
    /// While replies are handled (the datagrams read in one go), what is logged gathers and goes to the file in one
    /// write: with the command they bring, before that command goes out, or at the latest when the outermost batch
    /// ends (or a box opens).
    class LogBatch
    {
    public:
        explicit LogBatch(UDP &w) : m_w(w), m_outer(!std::exchange(w.m_logGathering, true)) {}
        ~LogBatch();
        LogBatch(const LogBatch &) = delete;
        LogBatch &operator=(const LogBatch &) = delete;

    private:
        UDP &m_w;
        bool m_outer;
    };
    bool logOpen() const { return m_logOpen; }
    /// The log Form_Load opens: "Terminal.log" in the working folder unless set before.
    void setLogFile(const QString &path) { m_logFile = path; }
    /// Shows the box of the first failed log write, once per run. Called at the end of each event, so that
    /// the handler that wrote has finished before a modal box lets the next event in.
    void reportLogFailure();

    // app/dialogs.cpp
    /// The "Error#" box: the failure's description, the critical icon, "Error#" and the number as title.
    void showFailure(const Failure &failure);
    /// A message box without icon under the application's title ("Cancel").
    void msgBox(const QString &text);
    /// Shows the file dialog (`filter` is "Description|pattern"); the chosen local file, or an empty name
    /// when the user cancelled and was told so with the "Cancel" box.
    QString chooseLocalFile(const char *filter, bool save);

    // settings/addresslist.cpp
    void loadAddressList();
    void Add_ip_Click();
    void Del_ip_Click();
    void SaveIP_Click();

    // udp/link.cpp
    void cbBind_Click();
    void Command1_Click();

    // udp/send.cpp
    qint16 UDP_Send(const QByteArray &UDPString);
    void cbSendData_Click();
    void tbSendData_KeyDown(qint16 &KeyCode, qint16 Shift);
    void tbSendData_KeyPress(qint16 &KeyAscii);
    /// Console text from the device: a password prompt in it makes the next line typed a secret. Serial input
    /// (`piece`) is cut anywhere, so the prompt is looked for across pieces.
    void spotPasswordPrompt(const QByteArray &reply, bool piece);
    /// After a send of the typed line: logged and echoed when it went out (a password as asterisks), else the
    /// box that says why, the line kept.
    void typedLineSent();

    // udp/dispatcher.cpp
    void Winsock1_DataArrival();
    /// Dispatcher failures not shown because a box of the same failure was still open.
    quint64 suppressedFailures() const { return m_suppressedFailures; }

    // flash/transfer.cpp
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void FlashWriteReply(const QByteArray &reply);
    void FlashReadReply(const QByteArray &reply);
    /// Ends a transfer without a word to the device: flags down, an unfinished read discarded.
    void FlashStop();
    void TMRFlash_Timer();
    /// Writes the bytes of a read gathered so far to its local file; a write that fails ends the read.
    void writeReadBack();
    static qint16 Decode(QByteArray colums);
    static qint16 Decode2(QByteArray colums);

    // program/replies.cpp
    /// Where a program reply or an advance comes from: the receive paths differ in a few rules.
    enum class Via { Datagram, Serial, Button };
    /// A reply to "LIST" while the listing is captured: a line for the file, or "OK" at its end.
    void ProgListingReply(const QByteArray &text, Via via);
    /// The serial side of the listing: pieces cut anywhere, judged line by line.
    void ProgListingPiece(const QByteArray &text);
    /// The closing "OK" came: the file is closed and the listing reported complete.
    void ProgListingEnd();
    /// Writes listed text into the file; the first write that fails ends the capture and is thrown on.
    void ProgListingWrite(const QByteArray &bytes);
    /// The capture ends before its "OK" (the user asked for another file, or for none, or closed the window): a line
    /// start held back to be judged goes into the file, which is closed, and the box says where the lines are.
    void ProgListingStop();
    /// Closes the listing's file before its "OK": the file chosen stays as it was, and the lines that came stay in
    /// the file beside it (none came: it goes). Returns the words that tell the user so; empty when no listing's
    /// file was open.
    QString ProgListingDrop();
    /// A reply to a program line: "OK" sends the next line, "ERROR" ends the download.
    void ProgDownloadReply(const QByteArray &text, Via via);
    /// Sends the next program line on the link the reply came by (">>": on whatever link is open).
    void ProgAdvance(Via via);
    /// Sends a program line (with its CR LF) on whichever link is open.
    void ProgSendLine(const QByteArray &line);
    /// After a send of line ProgLineIdx: a line its link refused ends the download with a failure naming it.
    void ProgCheckSent();
    /// Line `index` of the program table; an index beyond the table fails with 9.
    const QByteArray &ProgLineAt(qint16 index) const;
    /// The last line has gone out.
    void ProgComplete();
    /// Neither a download nor a listing is under way any more.
    void ProgExchangeEnd();

    // program/parser.cpp
    void Com_Parser();

    // program/download.cpp
    /// Asks for the next .bas file (an empty name when cancelled), then ends a listing still being captured.
    QString ProgChooseFile(bool save);
    void Command10_Click();
    void Command9_Click();
    void Command14_Click();

    // program/listing.cpp
    /// Sends a command to the device's interpreter as a datagram, then on the serial port when it is open; the
    /// open link refusing it fails with why.
    void ProgCommand(const QByteArray &datagram, QByteArray serial);
    void Command11_Click();
    void Command12_Click();
    void Command13_Click();

    // serial/port.cpp
    void BTNOpenCom_Click();
    void Command8_Click();
    void Command7_Click();
    void Check1_Click();
    /// The port box's tool tip names the device its port number stands for, and lists the serial ports present
    /// with the number of each, marking the one the box's number reaches; the port picker lists the same.
    void Comm_number_Change();
    /// The close branch of BTNOpenCom: the port closed and the window back in its Closed state.
    void closePort();
    /// The device went away while the port was open: it is waited for; where it is not (setDeviceWait(0)), the port
    /// is closed, then the box names the device.
    void portLost(const Failure &failure);

    /// The port picker drops down (its list brought up to date) or closes again.
    void ComboPorts_DropDown(bool open);
    /// A port picked from the list: its number goes into the port box.
    void ComboPorts_Click();
    void TMRPorts_Timer();

    // serial/reconnect.cpp
    /// How long a vanished device is waited for, in ms: -1 for as long as it takes, 0 not at all (the port closes
    /// and a box says why). The window waits; the batch command only when asked to.
    void setDeviceWait(int ms) { m_deviceWaitMs = ms; }
    /// The open port's device went away and the terminal is looking for it to come back.
    bool waitingForDevice() const { return m_deviceGone; }
    /// The port is open: which device it is, to know it again.
    void rememberDevice();
    /// The device went away: the port is let go, the window stays as the user left it, the device is looked for.
    void waitForDevice(const Failure &failure);
    void TMRDevice_Timer();
    /// "Stay closed", in the status line's menu: the device is no longer waited for; the port is closed.
    void StayClosed_Click();
    /// The device came back and its port is open again: the one place that tells so.
    void deviceBack();

    // serial/poll.cpp
    void TMRComm_Timer();
    /// Hands the data field of every complete reply frame in ModbusRxBuf with a good CRC to Com_Parser.
    void gatherFrames();

    // monitor/taps.cpp
    /// What went over the wire, into the record: a datagram sent or received, bytes written to the serial port
    /// (`framed` by WriteCOM32), a chunk the poll read, a frame it gathered.
    void monitorSent(const QByteArray &datagram);
    void monitorReceived(const QByteArray &datagram);
    void monitorWritten(const QByteArray &bytes, bool framed);
    void monitorRead(const QByteArray &chunk);
    void monitorGathered(const QByteArray &frame);
    /// The serial port as the record names it: "COM3 /dev/ttyUSB2".
    QByteArray monitorPort() const;
    /// Saves the units the filter passes to a file the user chooses, as JSON Lines, CSV or pcapng by the name's
    /// end; the file is replaced only once all of it is written.
    void monitorSaveAs(const Monitor::Filter &filter);

    // settings/commands.cpp
    /// The saved command lists, the list the side panel shows (-1: none) and whether it is shown (Ctrl+L).
    const QList<CommandList> &commandLists() const { return m_commandLists; }
    int currentList() const { return m_currentList; }
    bool commandPanelShown() const { return m_panelShown; }
    /// Reads the lists and the panel's state; a lists file that cannot be taken is refused with a box naming its
    /// line, and kept as it is.
    void loadCommandLists();
    void CommandPanel_Toggle();
    void CommandList_Change(int list);
    /// Keeps the command (its text escaped, as the file holds it) at `index` of the list shown, a new one at its
    /// end when `index` is past it; the reason when it cannot be kept.
    QString CommandEdit_Save(int index, const QByteArray &name, const QByteArray &escapedText, bool lineEnd,
                             int repeatMs);
    void CommandEdit_Delete(int index);
    /// A new list, shown; the reason when it cannot be made.
    QString CommandList_Add(const QByteArray &name);
    QString CommandList_Rename(const QByteArray &name);
    void CommandList_Delete();
    /// Adds the lists of a file the user chooses; a list of the same name is replaced.
    void CommandImport_Click();
    /// Writes every list into a file the user chooses.
    void CommandExport_Click();
    /// The list (the demo's sample) is offered, unless one of its name is there; nothing is saved for it.
    void offerCommandList(const CommandList &list);

    // udp/savedcommand.cpp
    /// Command `index` of the list shown, F1 to F12 the first twelve.
    void SavedCommand_Click(int index);
    /// Sends the command as the command line would, through Enter's handler; what the user was typing stays. A
    /// command that cannot go out now is refused, with the reason in the status line.
    bool sendSavedCommand(const SavedCommand &command);
    void TMRRepeat_Timer();
    void StopRepeat_Click();
    /// The command that repeats; none when nothing does.
    const std::optional<SavedCommand> &repeating() const { return m_repeating; }

    // serial/send.cpp
    qint16 WriteCOM32(QByteArray &COMString);
    static QByteArray CRC16(const QByteArray &sString);
    void Command6_Click();
    void Check2_Click();

    static constexpr char kSendDataHint[] = "\xCA\xEE\xEC\xE0\xED\xE4\xFB \xED\xE0\xE1\xE8\xF0\xE0\xF2\xFC "
                                            "\xE7\xE4\xE5\xF1\xFC"; // "Команды набирать здесь"

private:
    void statusChanged();
    void writeLog(const QByteArray &bytes);
    /// Writes what was gathered and stops gathering while a box is open; returns whether a batch was under way.
    bool pauseLogBatch();
    void commandsChanged();
    void saveCommandLists();
    void savePanelState();
    /// The lists or the list shown changed: both files are written and the view told.
    void listsChanged();
    /// The line as the send primitives hand it on: without its CR LF while a saved command goes out bare.
    QByteArray lineToSend(const QByteArray &line) const { return m_bareLine ? line.chopped(2) : line; }

    MessageBox &m_messageBox;
    System &m_system;
    bool m_logOpen = false;
    QString m_logFile = QStringLiteral("Terminal.log");
    bool m_logFailed = false;            // a log write failed in this run; only the first is reported
    std::optional<Failure> m_logFailure; // that failure, until its box is shown
    bool m_logGathering = false;         // a LogBatch is under way
    QByteArray m_logGathered;            // what it gathered, not yet written
    /// Replies of the device to the READ last sent: -1 before the first READ (OPENRD's OK is due), then the
    /// number of data replies; one is due before the OK that asks for the next block.
    qint16 m_readReplies = 0;
    /// Bytes of a read not yet written to its local file, and how many of them go to it in one write.
    QByteArray m_readBack;
    qsizetype m_readBackPiece = 0;
    QByteArray m_flashBarText;   // the bar's own text while it shows "NO REPLY"
    int m_dispatcherBoxOpen = 0; // number of the failure whose box is open, 0 when none
    quint64 m_suppressedFailures = 0;
    ListingScan m_listing;    // a serial listing comes in pieces cut anywhere (program/replies.cpp)
    QString m_listingTarget;  // the file the listing replaces once its "OK" has come
    QString m_listingPartial; // the file beside it that takes the lines until then
    // The status line (app/status.cpp).
    Why m_why = Why::None;
    QByteArray m_whyWhat;
    QByteArray m_linkTarget; // "host:port" of the UDP link, or the serial port's device, while one is up
    qint64 m_bytesSent = 0;
    qint64 m_bytesReceived = 0;
    qint64 m_sentAt = -1; // clock of the first send since the last reply; -1 when nothing is awaited
    /// Why the last UDP_Send or WriteCOM32 sent nothing though its link was up; empty when it sent, or when it
    /// found its link down. The primitives return 0 either way; the callers that must tell the user look here.
    std::optional<Failure> m_sendFailure;
    bool m_passwordDue = false; // the device asked for a password: the next line typed is not shown or stored
    DeviceLock m_deviceLock;
    qint64 m_newMark = 0;    // bytes received when NEW went out: any more is its answer
    QByteArray m_promptTail; // the end of the last serial console piece, where a prompt may begin
    QByteArray m_replyTail;  // the end of the last serial piece a download judged, where "OK" or "ERROR" may begin
    // Saved commands (settings/commands.cpp, udp/savedcommand.cpp).
    QList<CommandList> m_commandLists;
    int m_currentList = -1;
    bool m_panelShown = false;
    QString m_listsRefused; // why the lists file was refused at start: it is not written over
    std::optional<SavedCommand> m_repeating;
    bool m_bareLine = false; // the saved command going out has no line end added
    // A vanished device (serial/reconnect.cpp).
    SerialPortInfo m_device;       // the device the port has open, as it was found then
    QByteArray m_goneBox;          // what the port box said when it went ("COM3")
    bool m_deviceGone = false;     // it is being waited for
    int m_deviceWaitMs = -1;       // how long it is waited for; -1: as long as it takes
    int m_deviceWaitedMs = 0;      // how long it has been
    std::optional<Failure> m_lost; // how it went, told when the wait gives up
    // The port picker (serial/port.cpp).
    QList<SerialPortInfo> m_pickerPorts; // the entries of ComboPorts, in order
};
