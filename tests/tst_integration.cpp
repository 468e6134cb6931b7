// SPDX-License-Identifier: MIT
// What needs the real socket, pseudo-terminal and simulated device together: a round trip per form and link.
#include "integration.h"
#include "serial/modbus.h"
#include "serialport.h"

#include <QTest>

namespace
{
/// What the device sends for these reply lines: as they are, or each in frames to station 16 of at most
/// 255 bytes.
QByteArray deviceWire(const QByteArrayList &lines, bool rtu)
{
    QByteArray wire;
    for (const QByteArray &line : lines)
        for (qsizetype at = 0; at < line.size(); at += 255)
            wire += rtu ? Modbus::frame(16, Modbus::kConsoleFunction, line.mid(at, 255)) : line.mid(at, 255);
    return wire;
}

/// Puts the terminal's serial link in plain text (false) or RTU framing to station 16 (true).
void setFraming(UDP &w, bool rtu)
{
    w.Check1.setValue(qint16(rtu));
    w.Check3.setValue(0);
    w.Text3.setText("16");
}

/// VER typed with the boxes of `checks` (1 RTU framing, 3 its "MDC " form, 2 wrapped for Modbus over UDP; P: the
/// device's port was typed after the address).
template <typename Link>
void verRoundTrip(Link &link, const QByteArray &checks, const QByteArray &shown, const QByteArray &wire)
{
    UDP &w = link.udp;
    w.Check1.setValue(checks.contains('1'));
    w.Check2.setValue(checks.contains('2'));
    w.Check3.setValue(checks.contains('3'));
    w.Text4.setText("16");
    pressEnter(w, "VER");
    // The echo and Enter's line break come first; the reply follows as the device sent it.
    const QByteArray pane = "\r\nVER\r\n" + shown;
    QVERIFY2(waitUntil([&] { return w.tbReceiveData.Text() == pane; }), w.tbReceiveData.Text().constData());
    // The typed line, never its wrapped or framed form, then what the device sent, raw.
    QCOMPARE(link.newLog(), "VER\r\n" + wire);
    QVERIFY(link.boxes.boxes.isEmpty());
}

/// A program downloaded, listed back into a file, then NEW and an empty listing.
template <typename Link> void programRoundTrip(Link &link, bool rtuDown, bool rtuList, const QByteArrayList &program)
{
    UDP &w = link.udp;
    const QByteArray source = program.join();
    QVERIFY(link.writeFile(QStringLiteral("prog.bas"), source));
    setFraming(w, rtuDown);
    link.dialog.answer = QStringLiteral("prog.bas");
    w.Command10_Click();
    QCOMPARE(w.ProgDownloadMode, qint16(1));
    // The device's OK to the last line arrives after completion, as console text.
    QVERIFY(waitUntil([&] { return w.tbReceiveData.Text() == "SEND BASIC PROGRAM COMPLETED\r\nOK\r\n"; }));

    setFraming(w, rtuList);
    link.dialog.answer = QStringLiteral("back.bas");
    w.Command11_Click();
    QVERIFY(waitUntil([&] { return w.ProgSaveMode == 0; }));
    QCOMPARE(w.tbReceiveData.Text(), QByteArray("LOAD BASIC PROGRAM COMPLETED\r\n"));
    QCOMPARE(link.file(QStringLiteral("back.bas")), source);

    w.Command12_Click();
    QVERIFY(waitUntil([&] { return w.tbReceiveData.Text() == "LOAD BASIC PROGRAM COMPLETED\r\nOK\r\n"; }));
    link.dialog.answer = QStringLiteral("empty.bas");
    w.Command11_Click();
    QVERIFY(waitUntil([&] { return w.ProgSaveMode == 0; }));
    QVERIFY(QFile::exists(QStringLiteral("empty.bas")));
    QCOMPARE(link.file(QStringLiteral("empty.bas")), QByteArray());
    QVERIFY(link.boxes.boxes.isEmpty());
    // Program lines and commands are not logged; what the device sent is, raw. The end of each listing and NEW
    // are answered with OK as well.
    const QByteArray ok = "OK\r\n";
    QCOMPARE(link.newLog(), deviceWire(QByteArrayList(program.size(), ok), rtuDown) +
                                deviceWire(program + QByteArrayList{ok, ok, ok}, rtuList));
}
/// Runs `test` on the serial port with the simulator on a pseudo-terminal (skipped when none can be made), or on
/// UDP with the simulator on loopback.
template <typename Test> void onLink(bool serial, PtyDeviceSim::Options pty, DeviceSim::Options udp, const Test &test)
{
    if (serial) {
        SerialLink link(pty);
        if (!link.connect())
            QSKIP(qPrintable("no pseudo-terminal: " + link.error));
        QCOMPARE(portState(link.udp), QByteArray(kPortOpen));
        test(link);
    } else {
        SimLink link(udp);
        QVERIFY2(link.connect(), qPrintable(link.error));
        test(link);
    }
}
} // namespace

class TestIntegration : public QObject
{
    Q_OBJECT
private slots:
    void ver_data();
    void ver();
    void program_data();
    void program();
    void flash_data();
    void flash();
};

void TestIntegration::ver_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QByteArray>("checks");
    QTest::addColumn<QByteArray>("shown"); // what the pane shows of the reply
    QTest::addColumn<QByteArray>("wire");  // what the device sent, as the log holds it
    const QByteArray ver = "VER 3.1 SIM\r\n", mdc = "MDC 16: VER 3.1 STATION\r\n";
    // Over UDP the device answers VER itself, and passes a wrapped one on to Modbus station 16.
    QTest::newRow("UDP, plain") << false << QByteArray() << ver << ver;
    QTest::newRow("UDP, the port after the address") << false << QByteArray("P") << ver << ver;
    QTest::newRow("UDP, [IPv6]:port") << false << QByteArray("P6") << ver << ver;
    QTest::newRow("UDP, wrapped for station 16") << false << QByteArray("2") << mdc << mdc;
    QTest::newRow("serial, plain line") << true << QByteArray() << ver << ver;
    QTest::newRow("serial, RTU frame to station 16") << true << QByteArray("1") << ver << Modbus::frame(16, 'C', ver);
    QTest::newRow("serial, MDC line via USB") << true << QByteArray("13") << mdc << mdc;
}

void TestIntegration::ver()
{
    QFETCH(bool, serial);
    QFETCH(QByteArray, checks);
    QFETCH(QByteArray, shown);
    QFETCH(QByteArray, wire);
    if (checks.startsWith('P')) {
        const bool ipv6 = checks.contains('6');
        SimLink link({}, ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
        if (!link.connect(true) && ipv6 && !link.sim.port())
            QSKIP(qPrintable("no IPv6 loopback here: " + link.error));
        QVERIFY2(link.udp.Winsock1.state() == 1, qPrintable(link.error + link.udp.statusText()));
        QCOMPARE(link.udp.tbRemotePort.Text(), QByteArray("111"));
        verRoundTrip(link, checks, shown, wire);
        return;
    }
    onLink(serial, {}, {}, [&](auto &link) { verRoundTrip(link, checks, shown, wire); });
}

void TestIntegration::program_data()
{
    QTest::addColumn<QByteArray>("link"); // U over UDP, S the serial port; D download, L listing in RTU frames
    QTest::addColumn<QByteArrayList>("program");
    // Each line as the device lists it (number, blank, statement) and ends it (CR LF): the listing gives the
    // file back.
    QByteArrayList lines;
    for (int n = 10; n <= 1000; n += 10)
        lines << QByteArray::number(n) + " PRINT \"LINE " + QByteArray::number(n) + "\";" + QByteArray::number(n % 7) +
                     "\r\n";
    QTest::newRow("UDP") << QByteArray("U") << lines;
    QTest::newRow("serial, plain text") << QByteArray("S") << lines;
    QTest::newRow("serial, RTU frames") << QByteArray("SDL") << lines;
    // A listed line longer than a frame comes in two; the second starts with "OK" but is not the end.
    const QByteArray head = "20 REM ";
    const QByteArray longLine = head + QByteArray(255 - head.size(), 'x') + "OK" + QByteArray(100, 'y') + "\r\n";
    QTest::newRow("serial, RTU listing, a line over two frames")
        << QByteArray("SL") << QByteArrayList{lines[0], longLine};
}

void TestIntegration::program()
{
    QFETCH(QByteArray, link);
    QFETCH(QByteArrayList, program);
    const bool rtuDown = link.contains('D'), rtuList = link.contains('L');
    // The device's replies leave whole: the download judges each poll's piece by itself, so a reply a busy machine
    // cuts between two polls ("O", then "K") would stall it, as the device's own line seldom does.
    onLink(link.startsWith('S'), {.console = {.newDelayMs = 10}, .baud = 0}, {.newDelayMs = 10, .diskFolder = {}},
           [&](auto &link) { programRoundTrip(link, rtuDown, rtuList, program); });
}

void TestIntegration::flash_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<int>("refused"); // the device refuses the fourth block of a write (1) or of a read (2)
    QTest::newRow("8 KiB, every byte value") << qsizetype(8192) << 0;
    QTest::newRow("307 bytes: the last block short, its digits before the end marker") << qsizetype(307) << 0;
    QTest::newRow("1 byte") << qsizetype(1) << 0;
    QTest::newRow("the device refuses a write") << qsizetype(1024) << 1;
    QTest::newRow("the device refuses a read") << qsizetype(1024) << 2;
}

void TestIntegration::flash()
{
    QFETCH(qsizetype, size);
    QFETCH(int, refused);
    SimLink link({.diskFolder = QStringLiteral("disk"), .errorAfterBlocks = refused ? 3 : -1});
    QVERIFY2(link.connect(), qPrintable(link.error));
    UDP &w = link.udp;
    const QByteArray source = randomBytes(size), onDevice = refused == 2 ? source : QByteArray();
    QVERIFY(link.writeFile(QStringLiteral("source.bin"), source) &&
            link.writeFile(QStringLiteral("disk/DATA.BIN"), onDevice));
    // The local copy exists already and is longer: none of its old tail may survive the read.
    const QByteArray earlier(size + 5000, '\xAA');
    QVERIFY(link.writeFile(QStringLiteral("copy.bin"), earlier));
    w.Text2.setText("DATA.BIN");
    // A write of source.bin, then a read back into copy.bin, each to its end and the device's answer to the CLOSE
    // that ends every transfer; a refusal ends the transfer, the device's reason shown.
    for (const bool reading : {false, true}) {
        if (refused && reading != (refused == 2))
            continue;
        link.dialog.answer = link.dir.filePath(reading ? QStringLiteral("copy.bin") : QStringLiteral("source.bin"));
        const qsizetype paneBefore = w.tbReceiveData.Text().size();
        reading ? w.Command4_Click() : w.Command3_Click();
        const QByteArray end = (refused ? "ERROR simulated failure\r\n" : "") + QByteArray("OK\r\n");
        QVERIFY(waitUntil([&] { return w.tbReceiveData.Text().mid(paneBefore) == end; }));
        QCOMPARE(w.vbalProgressBar1.Text(), refused ? QByteArray("ERROR") : QByteArray("OK"));
        QCOMPARE(w.FlashReading + w.FlashWriting, 0);
    }
    // The device keeps what went through before its refusal; a local copy is replaced only by a whole file.
    QCOMPARE(link.file(QStringLiteral("disk/DATA.BIN")), refused == 1 ? source.first(3 * 21) : source);
    QCOMPARE(link.file(QStringLiteral("copy.bin")), refused ? earlier : source);
    QCOMPARE(QDir(link.dir.path()).entryList({QStringLiteral("copy*")}, QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("copy.bin")});
    // Each block command logged as it went, the refusal raw, then CLOSE and the device's answer to it.
    const QByteArray log = link.newLog();
    if (refused)
        QCOMPARE(log.count(refused == 2 ? "READ 20\"\r\n" : "WRITE \""), 4);
    QVERIFY2(log.endsWith(refused ? "\"\r\nERROR simulated failure\r\nCLOSE\r\nOK\r\n" : "ND\r\nCLOSE\r\nOK\r\n"),
             log.right(80).constData());
    QVERIFY(link.boxes.boxes.isEmpty());
}

QTEST_GUILESS_MAIN(TestIntegration)
#include "tst_integration.moc"
