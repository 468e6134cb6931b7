// SPDX-License-Identifier: MIT
// The serial poll: the idle blink, what each tick reads, logs and hands on, and the assembly of RTU reply frames; a
// device that goes away while its port is open, and which one is taken when it comes back.
#include "harness.h"
#include "serial/modbus.h"
#include "serialport.h"

#include <QTest>

namespace
{
/// Ticks of the poll with the port open, the pane holding "old", the .bas file open, and a download of
/// "10 A", "20 B", "30 C" whose first line has gone out.
struct Poll {
    QByteArray mode{};       // R RTU framing, U the "Via USB" text form; S ProgSaveMode, D ProgDownloadMode
    QByteArrayList chunks{}; // what the device sent before each tick; "" is an idle tick
    QByteArray pane{};
    QByteArray ticks{};    // Pic after each tick (Yellow, Red, White, Grey, g send green), * when restarted
    QByteArray after{};    // the flags afterwards, and F while the .bas file is open
    QByteArray file{};     // what the .bas file holds
    QByteArrayList sent{}; // what went out on the port
};

/// A reply frame of the device (address and function are not examined).
QByteArray reply(const QByteArray &data)
{
    return Modbus::frame(16, Modbus::kConsoleFunction, data);
}

/// The port COM3 open on the device `before` lists, which goes away; the system then lists `after`, the device
/// being back in the fake when `plugBack`. `act` before the look for it: S "Stay closed", C Close, L the wait given
/// up after a second, D a download under way when it went.
struct Back {
    QList<SerialPortInfo> before, after{};
    bool plugBack = true;
    char act = 0;
    QByteArray box = "COM3"; // the port box afterwards
    char state = 'O';        // O open again, W still waited for, C closed
    QString status{};        // what the status line says, but the byte counts
    QStringList boxes{};
};

const SerialPortInfo kFtdi = listedPort("/dev/ttyUSB2", "FT232R USB UART", "A12345", 3, "1-2", "FTDI");
const SerialPortInfo kBare = listedPort("/dev/ttyUSB2", "USB2.0-Serial", "", 3, "1-2");

/// The device `port` is, listed under another path and number.
SerialPortInfo movedTo(SerialPortInfo port, const QString &device, qint16 number)
{
    port.device = device;
    port.number = number;
    return port;
}

char colourLetter(quint32 colour)
{
    const QHash<quint32, char> letters{
        {Colour::Yellow, 'Y'}, {Colour::Red, 'R'}, {Colour::White, 'W'}, {Colour::Grey, 'G'}, {Colour::SendGreen, 'g'}};
    return letters.value(colour, '?');
}
} // namespace
Q_DECLARE_METATYPE(Poll)
Q_DECLARE_METATYPE(Back)

class TestSerial : public QObject
{
    Q_OBJECT
private slots:
    void poll_data();
    void poll();
    void quietFailures();
    void unpluggedInsideAnotherBox();
    void comesBack_data();
    void comesBack();
};

void TestSerial::poll_data()
{
    QTest::addColumn<Poll>("c");
    const QByteArrayList idle9(9, QByteArray());
    const QByteArray partial = QByteArray::fromHex("10430A414243");
    QByteArray damaged = reply("A");
    damaged.back() = char(damaged.back() ^ 1);

    QTest::newRow("idle: blink at ten, then every nine")
        << Poll{"", idle9 + idle9 + QByteArrayList{""}, "old", "YYYYYYYYYWWWWWWWWWG", "F"};
    QTest::newRow("console: a line in two pieces") << Poll{"", {"VER 3", ".1\r\n"}, "oldVER 3.1\r\n", "RR", "F"};
    QTest::newRow("console: received at the blink, whitened at the next")
        << Poll{"", idle9 + QByteArrayList{"x"} + idle9, "oldx", "YYYYYYYYYRRRRRRRRRW", "F"};
    QTest::newRow("Via USB: a frame goes on as it came") << Poll{"RU", {reply("A")}, "old" + reply("A"), "R", "F"};
    // RTU framing: the data field of each good frame, one call each.
    const QByteArray v31 = reply("V3.1");
    QTest::newRow("RTU: one frame in three ticks")
        << Poll{"RD", {v31.left(2), v31.mid(2, 3), v31.mid(5)}, "oldV3.1\r\n", "RRR*", "DF"};
    QTest::newRow("RTU: two frames, the first damaged") << Poll{"RD", {damaged + reply("B")}, "oldB\r\n", "R*", "DF"};
    QTest::newRow("RTU: byte count 0") << Poll{"RD", {reply({})}, "old\r\n", "R*", "DF"};
    QTest::newRow("RTU: the last bytes wait")
        << Poll{"RD", {reply("A") + "\x10\x43", reply("B").mid(2)}, "oldA\r\nB\r\n", "RR*", "DF"};
    QTest::newRow("RTU: a partial reply dropped at the fifth idle tick")
        << Poll{"RD", {partial, "", "", "", "", "", reply("B")}, "oldB\r\n", "RRRRRRR*", "DF"};
    QTest::newRow("RTU: four idle ticks keep it")
        << Poll{"RD", {partial, "", "", "", "", reply("B")}, "old", "RRRRRR", "DF"};
    QTest::newRow("RTU: a send drops what followed the frame")
        << Poll{"RD", {reply("OK\r\n") + reply("X")}, "LOAD DATA = 20 B", "g*", "DF", {}, {reply("20 B\r\n")}};
}

void TestSerial::poll()
{
    QFETCH(Poll, c);
    Harness h;
    h.startOpen();
    h.midDownload();
    UDP &w = h.udp;
    w.Check1.setValue(c.mode.contains('R'));
    w.Check3.setValue(c.mode.contains('U'));
    w.tbReceiveData.setText("old");
    w.ProgSaveMode = c.mode.contains('S');
    w.ProgDownloadMode = c.mode.contains('D');
    TimerTrace timer(w);

    QByteArray ticks;
    for (const QByteArray &chunk : c.chunks) {
        h.mscomm.feedReceived(chunk);
        w.TMRComm.Tick();
        ticks += colourLetter(w.Pic.FillColor());
        if (timer.take().contains('+'))
            ticks += '*';
    }
    QCOMPARE(ticks, c.ticks);
    QCOMPARE(w.tbReceiveData.Text(), c.pane);
    if (c.mode.isEmpty() && c.pane != "old")
        QCOMPARE(w.tbReceiveData.SelStart(), qint32(c.pane.size()));
    QCOMPARE(QByteArray(w.ProgSaveMode ? "S" : "") + (w.ProgDownloadMode ? "D" : "") +
                 (w.files.isOpen(w.ProgFileNum) ? "F" : ""),
             c.after);
    QCOMPARE(h.file(QStringLiteral("list.bas")), c.file);
    QCOMPARE(h.mscomm.written(), c.sent);
    // Every chunk is logged as it came, frame bytes and CRC included.
    QCOMPARE(h.newLog(), c.chunks.join());
    QVERIFY(h.boxes.boxes.isEmpty());
    QVERIFY(w.TMRComm.Enabled());
}

void TestSerial::quietFailures()
{
    Harness h;
    h.startOpen();
    UDP &w = h.udp;
    h.mscomm.feedReceived("VER");
    h.mscomm.injectError();
    w.TMRComm_Timer(); // the port fails: the tick ends, the bytes wait
    QCOMPARE(w.PortBlinkCount, qint16(1));
    QVERIFY(w.RxText.isEmpty());
    QVERIFY(h.boxes.boxes.isEmpty());
    w.ProgSaveMode = 1;
    w.ProgFileNum = 7; // no listing file is open: the parser fails, which ends the listing, and is told
    w.TMRComm_Timer();
    QCOMPARE(w.RxText, QByteArray("VER"));
    QCOMPARE(w.Pic.FillColor(), Colour::Red);
    QCOMPARE(h.boxes.lines(), QStringList{QStringLiteral("Error#52: Bad file name or number")});
    h.mscomm.feedReceived(" 3.1\r\n");
    w.TMRComm_Timer();
    QCOMPARE(w.tbReceiveData.Text(), QByteArray(" 3.1\r\n"));
    QCOMPARE(h.newLog(), QByteArray("VER 3.1\r\n"));
    QCOMPARE(portState(w), QByteArray(kPortOpen));
}

void TestSerial::unpluggedInsideAnotherBox()
{
    Harness h;
    h.startOpen();
    UDP &w = h.udp;
    w.setDeviceWait(0); // not waited for: the port closes and a box says so
    QVERIFY(QDir(h.dir.path()).mkdir(QStringLiteral("terminal.ini"))); // Save fails with a box
    h.boxes.whileOpen = [&] {
        if (h.boxes.boxes.size() > 1)
            return;
        // The poll ticks on under the box of Save.
        h.mscomm.feedReceived("abc");
        w.TMRComm_Timer();
        h.mscomm.disconnect();
        w.TMRComm_Timer();
        w.TMRComm_Timer();
    };
    w.SaveIP_Click();
    QCOMPARE(h.boxes.boxes.size(), 2);
    QCOMPARE(h.boxes.boxes[1].title, QStringLiteral("Error#8020"));
    QCOMPARE(w.tbReceiveData.Text(), QByteArray("abc"));
    QCOMPARE(portState(w), QByteArray(kPortClosed));
}

void TestSerial::comesBack_data()
{
    QTest::addColumn<Back>("c");
    const QString ftdiBack =
        QStringLiteral("COM6 = /dev/fake6, 115200, plain lines | FTDI A12345 came back and is open again");
    const QString ftdiGone = QStringLiteral("COM3 gone: waiting for it to come back (FTDI A12345)");
    SerialPortInfo other = kFtdi;
    other.serialNumber = QStringLiteral("B999");
    QTest::newRow("serial number: back under another path")
        << Back{.before = {kFtdi}, .after = {movedTo(kFtdi, "/dev/ttyUSB5", 6)}, .box = "COM6", .status = ftdiBack};
    QTest::newRow("serial number: another adapter on the old path is not taken")
        << Back{.before = {kFtdi}, .after = {other}, .state = 'W', .status = ftdiGone};
    SerialPortInfo elsewhere = kBare;
    elsewhere.location = QStringLiteral("1-3");
    QTest::newRow("USB socket: back under another path") << Back{
        .before = {kBare},
        .after = {movedTo(kBare, "/dev/ttyUSB7", 8)},
        .box = "COM8",
        .status = "COM8 = /dev/fake8, 115200, plain lines | USB2.0-Serial at USB 1-2 came back and is open again"};
    QTest::newRow("USB socket: an adapter from another socket on the old path is not taken")
        << Back{.before = {kBare},
                .after = {elsewhere},
                .state = 'W',
                .status = "COM3 gone: waiting for it to come back (USB2.0-Serial at USB 1-2)"};
    // A device the system does not list (a pseudo-terminal) is known by its path: its port is opened again.
    QTest::newRow("path: back") << Back{
        .before = {}, .status = "COM3 = /dev/fake3, 115200, plain lines | /dev/fake3 came back and is open again"};
    QTest::newRow("path: not back yet") << Back{
        .before = {}, .plugBack = false, .state = 'W', .status = "COM3 gone: waiting for it to come back (/dev/fake3)"};
    QTest::newRow("Stay closed") << Back{
        .before = {kFtdi}, .after = {kFtdi}, .act = 'S', .state = 'C', .status = "not connected"};
    QTest::newRow("Close") << Back{
        .before = {kFtdi}, .after = {kFtdi}, .act = 'C', .state = 'C', .status = "not connected"};
    QTest::newRow("given up after the second asked")
        << Back{.before = {kFtdi},
                .act = 'L',
                .state = 'C',
                .status = "not connected",
                .boxes = {"Error#8020: Device disconnected: /dev/fake3; it did not come back within 1 s"}};
    // The download ended when the device went: once it is back, its "OK" sends no further line.
    QTest::newRow("a download cut") << Back{
        .before = {kFtdi},
        .after = {kFtdi},
        .act = 'D',
        .status = "COM3 = /dev/fake3, 115200, plain lines | FTDI A12345 came back and is open again"};
}

void TestSerial::comesBack()
{
    QFETCH(Back, c);
    const QHash<char, QByteArray> states{
        {'O', kPortOpen},
        {'C', kPortClosed},
        {'W', "PortOpened 1, port off, Close, poll off, Pic off, box plain, options 0, Frame5 on"}};
    Harness h;
    UDP &w = h.udp;
    h.mscomm.present = c.before;
    h.startOpen();
    h.mscomm.feedReceived("before\r\n");
    w.TMRComm_Timer();
    if (c.act == 'D')
        h.midDownload(), w.ProgDownloadMode = 1;
    h.mscomm.disconnect();
    w.TMRComm_Timer();
    QVERIFY(w.waitingForDevice() && w.TMRDevice.Enabled());
    if (c.act == 'D')
        QCOMPARE(w.statusReason(), QStringLiteral("the program download ended when the device went: start it again"));
    if (c.act == 'L')
        w.setDeviceWait(1000);
    w.TMRDevice.Tick(); // not back yet
    h.mscomm.present = c.after;
    if (c.plugBack)
        h.mscomm.plugBack();
    if (c.act == 'S')
        w.StayClosed_Click();
    if (c.act == 'C')
        w.BTNOpenCom.Click();
    w.TMRDevice.Tick();
    QCOMPARE(portState(w), states[c.state]);
    QCOMPARE(w.TMRDevice.Enabled(), c.state == 'W');
    QCOMPARE(w.Comm_number.Text(), c.box);
    QCOMPARE(w.statusText().section(QStringLiteral(" | "), 0, -2), c.status);
    QCOMPARE(h.boxes.lines(), c.boxes);
    // The wire monitor's record marks where the device went and, once it is back, where it came back.
    QByteArrayList notes;
    for (qint64 n = w.monitor.first(); n < w.monitor.end(); ++n)
        if (w.monitor.at(n).direction == Monitor::Direction::Note)
            notes += w.monitor.at(n).bytes.toByteArray();
    QVERIFY2(notes.size() >= 2 && notes[notes.size() - (c.state == 'O' ? 3 : 1)].startsWith("COM3 gone: waiting"),
             notes.join('|').constData());
    QCOMPARE(notes.last().endsWith("came back and is open again"), c.state == 'O');
    h.mscomm.feedReceived("OK\r\n");
    w.TMRComm_Timer();
    QCOMPARE(w.tbReceiveData.Text(), c.state == 'O' ? QByteArray("before\r\nOK\r\n") : QByteArray("before\r\n"));
    QCOMPARE(h.mscomm.written(), QByteArrayList());
}

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
