// SPDX-License-Identifier: MIT
// The command line: Enter's send, echo and log on either link, what a refused line leaves, passwords, the history.
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
} // namespace
Q_DECLARE_METATYPE(Entry)

class TestSend : public QObject
{
    Q_OBJECT
private slots:
    void enter_data();
    void enter();
    void history_data();
    void history();
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

QTEST_GUILESS_MAIN(TestSend)
#include "tst_send.moc"
