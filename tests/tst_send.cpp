// SPDX-License-Identifier: MIT
// The command line: Enter's send, echo and log on either link, what a refused line leaves, passwords, the history;
// saved commands, which go out through the same Enter, and their repeats.
#include "harness.h"
#include "serial/modbus.h"

#include <QTest>

namespace
{
/// Enter pressed with the pane holding "old", Text3 and Text4 "16" and the focus elsewhere, after the device sent
/// the prompt (datagrams, or on the serial port the data of frames from station 16).
struct Entry {
    QByteArray typed = "VER";
    QByteArrayList sent{};
    qint16 wrap = 0;
    QByteArray address = "16";
    char link = 'U'; // U up, F up but the send fails, D down, S the serial port open in RTU framing instead
    QByteArray logged = "VER\r\n";
    QByteArray pane = "old\r\nVER\r\n";
    QByteArray left{}; // what the command line holds afterwards
    QByteArrayList serial{};
    QByteArrayList prompt{};
    QStringList boxes{};
    int enters = 1; // Enter pressed again after a refused send
};

QByteArray frame16(const QByteArray &data)
{
    return Modbus::frame(16, Modbus::kConsoleFunction, data);
}

/// A saved command clicked, with "half typed" in the command line, on the link given: U UDP, M UDP to a Modbus
/// station, S the serial port, R RTU frames, V "MDC " lines on the serial port; with a transfer under way (T), no
/// link (D) or the serial port's device gone (G).
struct Saved {
    char link;
    QByteArray text = "VER";
    bool lineEnd = true;
    QByteArrayList wire{}; // what went out
    QString why{};         // the status line's reason when refused
};

/// The link of a Saved row up, "old" in the pane.
void linkUp(Harness &h, char link)
{
    h.udp.Form_Load();
    h.udp.Text3.setText("16");
    h.udp.Text4.setText("16");
    if (QByteArray("UMT").contains(link))
        h.connect();
    else if (link != 'D')
        h.udp.BTNOpenCom_Click();
    h.udp.Check2.setValue(link == 'M');
    h.udp.Check1.setValue(link == 'R' || link == 'V');
    h.udp.Check3.setValue(link == 'V');
    h.udp.tbReceiveData.setText("old");
    h.markLog();
}

/// What a link carried.
QByteArrayList wire(const Harness &h)
{
    return h.winsock.written() + h.mscomm.written();
}
} // namespace
Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Saved)

class TestSend : public QObject
{
    Q_OBJECT
private slots:
    void enter_data();
    void enter();
    void history_data();
    void history();
    void savedCommand_data();
    void savedCommand();
    void repeat();
};

void TestSend::enter_data()
{
    QTest::addColumn<Entry>("c");
    QTest::newRow("plain") << Entry{.sent = {"VER\r\n"}};
    QTest::newRow("wrapped") << Entry{.sent = {"MDC 16,VER\r\n"}, .wrap = 1};
    QTest::newRow("wrapped, empty address") << Entry{.sent = {"MDC ,VER\r\n"}, .wrap = 1, .address = ""};
    QTest::newRow("empty line") << Entry{.typed = "", .sent = {"\r\n"}, .logged = "\r\n", .pane = "old\r\n\r\n"};
    QTest::newRow("wrapped, empty line") << Entry{
        .typed = "", .sent = {"MDC 16,\r\n"}, .wrap = 1, .logged = "\r\n", .pane = "old\r\n\r\n"};
    // A line that was not sent is neither echoed nor logged and stays in the command line; where its link refused
    // it, a box says why.
    const auto unsent = [](Entry c) {
        c.logged = "";
        c.pane = "old\r\n";
        c.left = c.typed;
        return c;
    };
    QTest::newRow("no link") << unsent({.link = 'D'});
    QTest::newRow("serial port, RTU frame to station 16")
        << Entry{.link = 'S', .serial = {QByteArray::fromHex("104305") + "VER\r\n" + QByteArray::fromHex("4BD0")}};
    const QByteArray huge(65506, 'x'), long254(254, 'x'); // CR LF makes 65,508: one byte over a datagram's most
    QTest::newRow("send fails") << unsent({.link = 'F', .boxes = {"Error#10014: Send failed"}});
    QTest::newRow("a datagram over 65,507 bytes")
        << unsent({.typed = huge, .boxes = {"Error#10040: Datagram was too large to send"}});
    QTest::newRow("RTU: a line over 253 characters")
        << unsent({.typed = long254,
                   .link = 'S',
                   .boxes = {"Error#6: An RTU frame carries at most 253 characters, the line has 254"}});
    QTest::newRow("RTU: an address outside 0 to 255")
        << unsent({.address = "300", .link = 'S', .boxes = {"Error#6: The Modbus address 300 lies outside 0 to 255"}});
    // The line after a password prompt goes out as typed; the pane and the log show asterisks, the history nothing.
    QTest::newRow("password after a datagram's prompt") << Entry{.typed = "secret",
                                                                 .sent = {"secret\r\n"},
                                                                 .logged = "Password:******\r\n",
                                                                 .pane = "oldPassword:\r\n******\r\n",
                                                                 .prompt = {"Password:"}};
    QTest::newRow("password after a prompt cut over two frames")
        << Entry{.typed = "secret",
                 .link = 'S',
                 .logged = frame16("Passw") + frame16("ord:") + "******\r\n",
                 .pane = "oldPassword:\r\n******\r\n",
                 .serial = {frame16("secret\r\n")},
                 .prompt = {"Passw", "ord:"}};
    QTest::newRow("password: a refused send does not use it up") << Entry{.typed = "secret",
                                                                          .sent = {"secret\r\n"},
                                                                          .link = 'F',
                                                                          .logged = "Password:******\r\n",
                                                                          .pane = "oldPassword:\r\n\r\n******\r\n",
                                                                          .prompt = {"Password:"},
                                                                          .boxes = {"Error#10014: Send failed"},
                                                                          .enters = 2};
}

void TestSend::enter()
{
    QFETCH(Entry, c);
    Harness h;
    h.startLinked();
    if (c.link == 'D' || c.link == 'S')
        h.udp.Command1_Click();
    if (c.link == 'S') {
        h.udp.BTNOpenCom_Click();
        h.udp.Check1.setValue(1);
    }
    if (c.link == 'F')
        h.winsock.injectError();
    h.udp.Check2.setValue(c.wrap);
    h.udp.Text3.setText(c.address);
    h.udp.Text4.setText(c.address);
    h.udp.tbReceiveData.setText("old");
    for (const QByteArray &prompt : c.prompt)
        c.link == 'S' ? h.mscomm.feedReceived(frame16(prompt)) : h.winsock.feedReceived(prompt);
    if (c.link == 'S')
        h.udp.TMRComm_Timer();
    h.udp.Comm_number.SetFocus();
    for (int enter = 0; enter < c.enters; ++enter)
        QCOMPARE(pressEnter(h.udp, c.typed), qint16(0));
    QCOMPARE(h.winsock.written(), c.sent);
    QCOMPARE(h.mscomm.written(), c.serial);
    QCOMPARE(h.boxes.lines(), c.boxes);
    // The indicator shows sends on the serial port only.
    QCOMPARE(h.udp.Pic.FillColor(), c.link == 'S' ? Colour::SendGreen : Colour::Yellow);
    if (c.link != 'D')
        QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    QCOMPARE(h.newLog(), c.logged);
    QCOMPARE(h.udp.tbReceiveData.Text(), c.pane);
    QCOMPARE(h.udp.tbReceiveData.SelStart(), qint32(c.pane.size()));
    QCOMPARE(h.udp.tbSendData.Text(), c.left);
    QCOMPARE(h.udp.CmdHistory[1], c.prompt.isEmpty() ? c.typed : QByteArray()); // nor is an empty line
    QCOMPARE(h.udp.RetVal, qint16(c.serial.isEmpty() ? c.sent.size() : c.serial[0].size()));
}

void TestSend::history_data()
{
    QTest::addColumn<QByteArrayList>("entered");
    QTest::addColumn<QByteArray>("keys");      // on "typed": U Up, D Down, b Backspace, x Delete, l Left, r Right, a A
    QTest::addColumn<QByteArrayList>("shown"); // the command line after each key
    QTest::addColumn<QByteArrayList>("history"); // the four newest lines after Enter on "B"
    const QByteArrayList abc{"A", "B", "C"}, notStored{"C", "B", "A", ""}, stored{"B", "C", "B", "A"};
    QTest::newRow("beyond both ends") << abc << QByteArray("DUUUUDDDD")
                                      << QByteArrayList{"", "C", "B", "A", "A", "B", "C", "", ""} << stored;
    QByteArrayList many, shown;
    for (int i = 1; i <= 33; ++i)
        shown.prepend(many.emplaceBack("L" + QByteArray::number(i)));
    shown.last() = "L2"; // L1 is lost: Up stops at L2
    QTest::newRow("33 lines") << many << QByteArray(33, 'U') << shown << QByteArrayList{"L33", "L32", "L31", "L30"};
    QTest::newRow("recalled") << abc << QByteArray("UU") << QByteArrayList{"C", "B"} << notStored;
    QTest::newRow("recalled, down to the newest")
        << abc << QByteArray("UUD") << QByteArrayList{"C", "B", "C"} << notStored;
    QTest::newRow("recalled, a letter") << abc << QByteArray("UUa") << QByteArrayList{"C", "B", "B"} << notStored;
    // An editing key on a recalled line makes it a new one.
    for (const char key : {'b', 'x', 'l', 'r'})
        QTest::addRow("recalled, %c", key) << abc << QByteArray("UU") + key << QByteArrayList{"C", "B", "B"} << stored;
}

void TestSend::history()
{
    QFETCH(QByteArrayList, entered);
    QFETCH(QByteArray, keys);
    QFETCH(QByteArrayList, shown);
    QFETCH(QByteArrayList, history);
    Harness h;
    h.startLinked();
    for (const QByteArray &line : entered)
        pressEnter(h.udp, line);
    h.udp.tbSendData.setText("typed");
    const QHash<char, qint16> codes{{'U', 38}, {'D', 40}, {'b', 8}, {'x', 46}, {'l', 37}, {'r', 39}, {'a', 65}};
    for (int i = 0; i < keys.size(); ++i) {
        qint16 code = codes[keys[i]];
        h.udp.tbSendData_KeyDown(code, 0);
        // Up and Down are swallowed, so the caret stays at the end; editing keys keep their ordinary work.
        QCOMPARE(code, QByteArray("UD").contains(keys[i]) ? qint16(0) : codes[keys[i]]);
        QCOMPARE(h.udp.tbSendData.Text(), shown[i]);
        QCOMPARE(h.udp.tbSendData.SelStart(), qint32(shown[i].size()));
    }
    pressEnter(h.udp, "B"); // as recalled, or typed anew
    QCOMPARE(QByteArrayList(h.udp.CmdHistory.begin() + 1, h.udp.CmdHistory.begin() + 5), history);
}

void TestSend::savedCommand_data()
{
    QTest::addColumn<Saved>("c");
    // With the line end, the wire, the log, the pane and the history are those of the same line typed.
    QTest::newRow("UDP") << Saved{.link = 'U', .wire = {"VER\r\n"}};
    QTest::newRow("UDP to a Modbus station") << Saved{.link = 'M', .wire = {"MDC 16,VER\r\n"}};
    QTest::newRow("serial") << Saved{.link = 'S', .wire = {"VER\r\n"}};
    QTest::newRow("serial, RTU") << Saved{.link = 'R', .wire = {frame16("VER\r\n")}};
    QTest::newRow("serial, MDC lines") << Saved{.link = 'V', .wire = {"MDC 16,VER\r\n"}};
    // Without it, the text alone goes out; an "MDC " line still ends its own line, which the device needs to take
    // it. The log and the pane show the line as the command line shows a typed one.
    QTest::newRow("UDP, bytes without a line end") << Saved{'U', "\x02VER\x03", false, {"\x02VER\x03"}};
    QTest::newRow("serial, ended by CR alone") << Saved{'S', "VER\r", false, {"VER\r"}};
    QTest::newRow("serial, RTU, no line end") << Saved{'R', "VER", false, {frame16("VER")}};
    QTest::newRow("UDP to a Modbus station, no line end") << Saved{'M', "VER", false, {"MDC 16,VER\r\n"}};
    QTest::newRow("serial, MDC lines, no line end") << Saved{'V', "VER", false, {"MDC 16,VER\r\n"}};
    // Refused before anything changes; the status line says why.
    QTest::newRow("no link") << Saved{.link = 'D', .why = "not connected: Connect or Open first"};
    QTest::newRow("a download under way")
        << Saved{.link = 'T', .why = "a transfer is under way: saved commands wait for its end"};
    QTest::newRow("the device gone") << Saved{
        .link = 'G', .why = "COM3 is gone: nothing is sent until it comes back (Close stops the wait)"};
}

void TestSend::savedCommand()
{
    QFETCH(Saved, c);
    Harness clicked;
    linkUp(clicked, c.link);
    clicked.udp.offerCommandList({"L", {{"Saved", c.text, c.lineEnd, 0}}});
    clicked.udp.ProgDownloadMode = c.link == 'T';
    if (c.link == 'G') {
        clicked.mscomm.disconnect();
        clicked.udp.TMRComm_Timer();
    }
    clicked.udp.tbSendData.setText("half typed");
    clicked.udp.tbSendData.setSelStart(4);
    clicked.udp.SavedCommand_Click(0);
    QCOMPARE(wire(clicked), c.wire);
    QCOMPARE(clicked.udp.statusReason(), c.why);
    QCOMPARE(clicked.udp.tbSendData.Text(), QByteArray("half typed"));
    QCOMPARE(clicked.udp.tbSendData.SelStart(), 4);
    if (!c.why.isEmpty()) {
        QCOMPARE(clicked.udp.tbReceiveData.Text(), QByteArray("old"));
        QCOMPARE(clicked.newLog(), QByteArray());
        QCOMPARE(clicked.udp.CmdHistory[1], QByteArray());
        return;
    }
    Harness typed; // in a working directory of its own from here on
    linkUp(typed, c.link);
    pressEnter(typed.udp, c.text);
    if (c.lineEnd)
        QCOMPARE(wire(typed), c.wire);
    QCOMPARE(clicked.newLog(), typed.newLog());
    QCOMPARE(clicked.udp.tbReceiveData.Text(), typed.udp.tbReceiveData.Text());
    QCOMPARE(clicked.udp.CmdHistory[1], c.text);
    QCOMPARE(clicked.udp.bytesSent(), c.wire[0].size());
}

void TestSend::repeat()
{
    Harness h;
    linkUp(h, 'U');
    h.udp.offerCommandList({"L", {{"Once", "A", true, 0}, {"Often", "B", true, 20}}});
    h.udp.SavedCommand_Click(1);
    h.udp.SavedCommand_Click(0); // a command sent once meanwhile leaves the repeat as it is
    QCOMPARE(std::pair(h.udp.TMRRepeat.Enabled(), h.udp.TMRRepeat.Interval()), std::pair(true, 20));
    h.udp.TMRRepeat.Tick();
    h.udp.TMRRepeat.Tick();
    QCOMPARE(h.winsock.written(), QByteArrayList({"B\r\n", "A\r\n", "B\r\n", "B\r\n"}));
    h.udp.StopRepeat_Click();
    h.udp.TMRRepeat.Tick(); // a tick already on its way when Stop came
    QCOMPARE(h.winsock.written().size(), 4);
    QVERIFY(!h.udp.TMRRepeat.Enabled() && !h.udp.repeating());
    // A repeat whose link goes down stops, and says why.
    h.udp.SavedCommand_Click(1);
    h.udp.Command1_Click();
    h.udp.TMRRepeat.Tick();
    QVERIFY(!h.udp.TMRRepeat.Enabled() && !h.udp.repeating());
    QCOMPARE(h.udp.statusReason(), QStringLiteral("not connected: Connect or Open first"));
    QCOMPARE(h.winsock.written().size(), 5);

    // Each send restarts the serial poll: a repeat as frequent as the poll reads the replies itself before it sends.
    Harness serial;
    linkUp(serial, 'S');
    serial.udp.offerCommandList({"L", {{"Fast", "B", true, 20}}});
    serial.udp.SavedCommand_Click(0);
    serial.mscomm.feedReceived("OK\r\n");
    serial.udp.TMRRepeat.Tick();
    QCOMPARE(serial.udp.tbReceiveData.Text(), QByteArray("old\r\nB\r\nOK\r\n\r\nB\r\n"));
}

QTEST_GUILESS_MAIN(TestSend)
#include "tst_send.moc"
