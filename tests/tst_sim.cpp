// SPDX-License-Identifier: MIT
#include "devicesim.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

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
    // "login", "folder" (the flash disk in a folder), "fail after N" or "error line N"
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArrayList>("replies");
    const auto row = [](const char *name, const QByteArray &setup, const QByteArrayList &commands,
                        const QByteArrayList &replies) { QTest::newRow(name) << setup << commands << replies; };
    QByteArray data;
    for (int i = 0; i < 50; ++i)
        data.append(char((i * 37 + 200) & 255));
    const QByteArray read = "READ 20\"";

    row("VER", "", {"VER"}, {"VER 3.1 SIM"});
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
    row("50 bytes written and read back", "folder",
        {"OPENWR \"F.BIN\"", writeCommand(data.left(21)), writeCommand(data.mid(21)), "CLOSE", "OPENRD \"F.BIN\"", read,
         read, read, read},
        {"OK", "OK", "OK", "OK", "OK", hex(data.left(20)), "OK", hex(data.mid(20, 20)), "OK", hex(data.mid(40)) + "ND",
         "ND"});
    row("40 bytes end in a lone ND", "",
        {"OPENWR \"F.BIN\"", writeCommand(data.left(40)), "OPENRD \"F.BIN\"", read, read, read},
        {"OK", "OK", "OK", hex(data.left(20)), "OK", hex(data.mid(20, 20)), "OK", "ND"});
    row("OPENWR empties the file", "",
        {"OPENWR \"E.TXT\"", "WRITE \"0A\"", "OPENWR \"E.TXT\"", "OPENRD \"E.TXT\"", read},
        {"OK", "OK", "OK", "OK", "ND"});
    row("missing file", "", {"OPENRD \"NONE.TXT\""}, {"ERROR file not found"});
    row("bad names", "", {"OPENWR NAME.TXT", "OPENWR \"../X.TXT\"", "OPENWR \"\""},
        QByteArrayList(3, "ERROR bad file name"));
    row("failure after 2 written blocks keeps them", "fail after 2",
        {"OPENWR \"X.TXT\"", "WRITE \"0102\"", "WRITE \"0304\"", "WRITE \"0506\"", "WRITE \"0708\"", "OPENRD \"X.TXT\"",
         read},
        {"OK", "OK", "OK", "ERROR simulated failure", "ERROR no file open", "OK", "01020304ND"});
    row("failure after 1 read block, counted per transfer", "fail after 1",
        {"OPENWR \"Y.TXT\"", writeCommand(data), "OPENRD \"Y.TXT\"", read, read, "OPENRD \"Y.TXT\"", read},
        {"OK", "OK", "OK", hex(data.left(20)), "OK", "ERROR simulated failure", "OK", hex(data.left(20)), "OK"});
}

void TestSim::replies()
{
    QFETCH(QByteArray, setup);
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, replies);
    QTemporaryDir disk;
    DeviceSim::Options options;
    options.port = 0;
    options.newDelayMs = 50;
    options.login = setup == "login";
    options.diskFolder = setup == "folder" ? disk.filePath("flash") : QString();
    options.errorAfterBlocks = setup.startsWith("fail after ") ? setup.mid(11).toInt() : -1;
    options.errorLine = setup.startsWith("error line ") ? setup.mid(11).toInt() : -1;
    DeviceSim sim(options);
    QVERIFY(sim.start());

    // A terminal stand-in: a plain socket on loopback. The device answers in order, so once this row's replies
    // are in, the reply to one more MDC VER comes next; anything extra would show up before it.
    QUdpSocket client;
    QVERIFY(client.bind(QHostAddress::LocalHost, 0));
    QByteArrayList received;
    const auto exchange = [&](const QByteArrayList &lines, qsizetype count) {
        for (const QByteArray &line : lines)
            client.writeDatagram(line + "\r\n", QHostAddress::LocalHost, sim.port());
        for (; count > 0 && QTest::qWaitFor([&] { return client.hasPendingDatagrams(); }, 5000); --count)
            received.append(client.receiveDatagram().data());
    };
    exchange(commands, replies.size());
    exchange({"MDC 0,VER"}, 1);
    replies.append("MDC 0: VER 3.1 STATION");
    for (QByteArray &reply : replies)
        reply += "\r\n";
    QCOMPARE(received, replies);

    // In folder mode the flash disk's file is a file of that folder, byte for byte.
    if (!options.diskFolder.isEmpty()) {
        QByteArray written;
        for (const QByteArray &command : commands)
            if (command.startsWith("WRITE \""))
                written += QByteArray::fromHex(command.mid(7).chopped(1));
        QFile file(options.diskFolder + "/F.BIN");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), written);
    }
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
