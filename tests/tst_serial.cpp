// SPDX-License-Identifier: MIT
// The serial poll: the idle blink, what each tick reads, logs and hands on, and the assembly of RTU reply frames.
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

char colourLetter(quint32 colour)
{
    const QHash<quint32, char> letters{
        {Colour::Yellow, 'Y'}, {Colour::Red, 'R'}, {Colour::White, 'W'}, {Colour::Grey, 'G'}, {Colour::SendGreen, 'g'}};
    return letters.value(colour, '?');
}
} // namespace
Q_DECLARE_METATYPE(Poll)

class TestSerial : public QObject
{
    Q_OBJECT
private slots:
    void poll_data();
    void poll();
    void quietFailures();
    void unpluggedInsideAnotherBox();
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

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
