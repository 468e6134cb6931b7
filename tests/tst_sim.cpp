// SPDX-License-Identifier: MIT
#include "devicesim.h"
#include "fakes.h"
#include "ptydevicesim.h"
#include "serial/modbus.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <fcntl.h>
#include <unistd.h>

namespace
{

QByteArray hex(const QByteArray &bytes)
{
    return bytes.toHex().toUpper();
}

QByteArray writeCommand(const QByteArray &bytes)
{
    return "WRITE \"" + hex(bytes) + "\"";
}

/// The number that follows `key` in a row's setup; -1 when the key is not there.
int numberAfter(const QByteArray &setup, const char *key)
{
    const qsizetype at = setup.indexOf(key);
    return at < 0 ? -1 : setup.mid(at + qstrlen(key)).split(',').constFirst().toInt();
}

/// A command line as a pseudo-terminal row's setup sends it: framed to a station ("rtu N"), framed to 16 with
/// its CRC broken ("bad crc"), ending in CR alone ("cr"), or plain with CR LF.
QByteArray request(const QByteArray &setup, const QByteArray &line)
{
    if (setup.contains("bad crc")) {
        QByteArray frame = Modbus::frame(16, 'C', line + "\r\n");
        frame.back() = char(frame.back() ^ 0x5A);
        return frame;
    }
    if (numberAfter(setup, "rtu ") >= 0)
        return Modbus::frame(quint8(numberAfter(setup, "rtu ")), 'C', line + "\r\n");
    return line + (setup.contains("pty cr") ? "\r" : "\r\n");
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
};

void TestSim::replies_data()
{
    // "login", "fail after N", "error line N"; rows that start with "pty"
    // talk to the pseudo-terminal device, in the form request() gives.
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArrayList>("replies");
    const auto row = [](const char *name, const QByteArray &setup, const QByteArrayList &commands,
                        const QByteArrayList &replies) { QTest::newRow(name) << setup << commands << replies; };
    QByteArray data;
    for (int i = 0; i < 50; ++i)
        data.append(char((i * 37 + 200) & 255));
    const QByteArray read = "READ 20\"";

    row("lines listed by number, replaced and deleted", "",
        {"30 END", "10 PRINT 1", "20 GOTO 10", "10 PRINT 2", "30", "list"},
        {"OK", "OK", "OK", "OK", "OK", "10 PRINT 2", "20 GOTO 10", "OK"});
    row("unknown command", "", {"HELLO"}, {"ERROR unknown command"});
    // VER is answered while NEW still erases; the program is gone at once.
    row("NEW after its delay", "", {"10 PRINT 1", "NEW", "VER", "LIST"}, {"OK", "VER 3.1 SIM", "OK", "OK"});
    row("download stopped by an ERROR", "error line 20", {"10 PRINT 1", "20 END", "30 STOP", "LIST"},
        {"OK", "ERROR line rejected", "OK", "10 PRINT 1", "30 STOP", "OK"});
    row("login", "login", {"VER", "admin", "secret", "VER"}, {"Login:", "Password:", "OK", "VER 3.1 SIM"});
    row("MDC and UART", "", {"MDC 16,VER", "MDC 255,10 PRINT 1", "MDC 256,VER", "UART 2,7"},
        {"MDC 16: VER 3.1 STATION", "MDC 255: OK", "ERROR bad argument", "OK"});
    row("OPENWR empties the file", "",
        {"OPENWR \"E.TXT\"", "WRITE \"0A\"", "OPENWR \"E.TXT\"", "OPENRD \"E.TXT\"", read},
        {"OK", "OK", "OK", "OK", "ND"});
    row("missing file", "", {"OPENRD \"NONE.TXT\""}, {"ERROR file not found"});
    row("bad names", "", {"OPENWR NAME.TXT", "OPENWR \"../X.TXT\"", "OPENWR \"\""},
        QByteArrayList(3, "ERROR bad file name"));
    row("failure after 1 read block, counted per transfer", "fail after 1",
        {"OPENWR \"Y.TXT\"", writeCommand(data), "OPENRD \"Y.TXT\"", read, read, "OPENRD \"Y.TXT\"", read},
        {"OK", "OK", "OK", hex(data.left(20)), "OK", "ERROR simulated failure", "OK", hex(data.left(20)), "OK"});

    row("pty: a frame for station 17 is not answered", "pty rtu 17", {"VER"}, {});
    row("pty: a frame with a bad CRC is not answered", "pty bad crc", {"VER"}, {});
    row("pty: lines ending in CR alone, one rejected", "pty cr, error line 20", {"10 PRINT 1", "20 END", "LIST"},
        {"OK", "ERROR line rejected", "10 PRINT 1", "OK"});
    row("pty: line noise and an overlong line", "pty", {"\x03VER", QByteArray(2000, 'A'), "VER"},
        {"VER 3.1 SIM", "ERROR line too long", "VER 3.1 SIM"});
}

void TestSim::replies()
{
    QFETCH(QByteArray, setup);
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, replies);
    DeviceSim::Options options;
    options.port = 0;
    options.newDelayMs = 50;
    options.login = setup == "login";
    options.errorAfterBlocks = numberAfter(setup, "fail after ");
    options.errorLine = numberAfter(setup, "error line ");
    // The device answers in order, so once this row's replies are in, the reply to one more plain MDC VER comes
    // next; anything extra would show up before it.
    const QByteArray marker = "MDC 0: VER 3.1 STATION\r\n";
    QByteArray expected = replies.join("\r\n") + (replies.isEmpty() ? "" : "\r\n") + marker, received;
    const auto arrived = [&](const std::function<QByteArray()> &read) {
        return QTest::qWaitFor([&] { return (received += read()).endsWith(marker); }, kPatienceMs);
    };
    if (!setup.startsWith("pty")) {
        DeviceSim sim(options);
        QVERIFY(sim.start());
        // A terminal stand-in: a plain socket on loopback.
        QUdpSocket client;
        QVERIFY(client.bind(QHostAddress::LocalHost, 0));
        const auto read = [&] { return client.hasPendingDatagrams() ? client.receiveDatagram().data() : QByteArray(); };
        // The marker goes out once the row's replies are in: NEW answers only after its delay.
        for (const QByteArray &line : commands)
            client.writeDatagram(line + "\r\n", QHostAddress::LocalHost, sim.port());
        (void)QTest::qWaitFor([&] { return (received += read()).count("\r\n") >= replies.size(); }, kPatienceMs);
        client.writeDatagram("MDC 0,VER\r\n", QHostAddress::LocalHost, sim.port());
        QVERIFY(arrived(read));
        QCOMPARE(received, expected);
        return;
    }
    PtyDeviceSim sim({.console = options.console()});
    QString error;
    if (!sim.start(&error))
        QSKIP(qPrintable("no pseudo-terminal: " + error));
    // The test plays the terminal on the terminal end, as the serial port would.
    const int port = ::open(QFile::encodeName(sim.path()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(port >= 0);
    const auto closePort = qScopeGuard([port] { ::close(port); });
    QByteArray sent;
    for (const QByteArray &command : commands)
        sent += request(setup, command);
    sent += "MDC 0,VER\r\n";
    QCOMPARE(::write(port, sent.constData(), size_t(sent.size())), ssize_t(sent.size()));
    const bool complete = arrived([&] {
        char buffer[512];
        return QByteArray(buffer, qMax<ssize_t>(::read(port, buffer, sizeof buffer), 0));
    });
    QCOMPARE(received, expected);
    QVERIFY(complete);
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
