// SPDX-License-Identifier: MIT
// Owns the simulated device: its console's replies over UDP and over a pseudo-terminal, in lines and in RTU frames.
#include "devicesim.h"
#include "fakes.h"
#include "ptydevicesim.h"
#include "serial/modbus.h"

#include <QFile>
#include <QTest>
#include <QUdpSocket>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#endif

namespace
{
/// The number that follows `key` in a row's setup; -1 when the key is not there.
int numberAfter(const QByteArray &setup, const char *key)
{
    const qsizetype at = setup.indexOf(key);
    return at < 0 ? -1 : setup.mid(at + qstrlen(key)).split(',').constFirst().toInt();
}

/// A command line as the row's setup sends it: framed to a station ("rtu N"), its CRC broken ("bad crc"), ending in
/// CR alone ("cr"), or ending in CR LF.
QByteArray request(const QByteArray &setup, const QByteArray &line)
{
    if (numberAfter(setup, "rtu ") < 0)
        return line + (setup.contains("pty cr") ? "\r" : "\r\n");
    QByteArray frame = Modbus::frame(quint8(numberAfter(setup, "rtu ")), 'C', line + "\r\n");
    frame.back() = char(frame.back() ^ (setup.contains("bad crc") ? 0x5A : 0));
    return frame;
}
} // namespace

class TestSim : public QObject
{
    Q_OBJECT
private slots:
    void replies_data()
    {
        // "login", "fail after N", "error line N"; rows that start with "pty" talk to the pseudo-terminal device.
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<QByteArrayList>("commands");
        QTest::addColumn<QByteArrayList>("replies");
        const auto row = [](const char *name, const QByteArray &setup, const QByteArrayList &commands,
                            const QByteArrayList &replies) { QTest::newRow(name) << setup << commands << replies; };
        QByteArray data;
        for (int i = 0; i < 50; ++i)
            data.append(char((i * 37 + 200) & 255));
        const QByteArray read = "READ 20\"", hex = data.toHex().toUpper();

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
            {"OPENWR \"Y.TXT\"", "WRITE \"" + hex + "\"", "OPENRD \"Y.TXT\"", read, read, "OPENRD \"Y.TXT\"", read},
            {"OK", "OK", "OK", hex.left(40), "OK", "ERROR simulated failure", "OK", hex.left(40), "OK"});

        row("pty: a frame for station 17 is not answered", "pty rtu 17", {"VER"}, {});
        row("pty: a frame with a bad CRC is not answered", "pty rtu 16, bad crc", {"VER"}, {});
        row("pty: lines ending in CR alone, one rejected", "pty cr, error line 20", {"10 PRINT 1", "20 END", "LIST"},
            {"OK", "ERROR line rejected", "10 PRINT 1", "OK"});
        row("pty: line noise and an overlong line", "pty", {"\x03VER", QByteArray(2000, 'A'), "VER"},
            {"VER 3.1 SIM", "ERROR line too long", "VER 3.1 SIM"});
    }
    void replies()
    {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArrayList, commands);
        QFETCH(QByteArrayList, replies);
        const DeviceSim::Options options{.port = 0,
                                         .newDelayMs = 50,
                                         .login = setup == "login",
                                         .diskFolder = {},
                                         .errorAfterBlocks = numberAfter(setup, "fail after "),
                                         .errorLine = numberAfter(setup, "error line ")};
        const bool pty = setup.startsWith("pty");
        DeviceSim udpSim(options);
        PtyDeviceSim ptySim({.console = options.console()});
        QString error;
        // The terminal: a datagram socket on loopback, or the terminal end of the pseudo-terminal opened as the serial
        // port opens it.
        QUdpSocket client;
        QFile terminalEnd;
        QIODevice &port = pty ? static_cast<QIODevice &>(terminalEnd) : client;
        if (!pty) {
            QVERIFY2(udpSim.start(&error), qPrintable(error));
            client.connectToHost(QHostAddress::LocalHost, udpSim.port());
        } else if (!ptySim.start(&error)) {
            QSKIP(qPrintable("no pseudo-terminal: " + error));
        } else {
#ifdef Q_OS_UNIX
            const int fd = ::open(QFile::encodeName(ptySim.path()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            QVERIFY(terminalEnd.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFile::AutoCloseHandle));
#endif
        }
        for (const QByteArray &line : commands)
            QVERIFY(port.write(request(pty ? setup : "", line)) > 0);
        // The device answers in order, so once this row's replies are in (NEW answers only after its delay), the
        // reply to one more plain MDC VER comes next; anything extra would show up before it.
        QByteArray received;
        (void)QTest::qWaitFor([&] { return (received += port.readAll()).count("\r\n") >= replies.size(); },
                              kPatienceMs);
        QVERIFY(port.write("MDC 0,VER\r\n") > 0);
        const QByteArray marker = "MDC 0: VER 3.1 STATION\r\n";
        (void)QTest::qWaitFor([&] { return (received += port.readAll()).endsWith(marker); }, kPatienceMs);
        QCOMPARE(received, replies.join("\r\n") + (replies.isEmpty() ? "" : "\r\n") + marker);
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
