// SPDX-License-Identifier: MIT
#include "devicesim.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

namespace
{

// Asked after each command: its reply marks the end of that command's replies, and since the device answers
// in order, anything extra would show up before it.
const QByteArray kSentinel = "MDC 0,VER";
const QByteArray kSentinelReply = "MDC 0: VER 3.1 STATION\r\n";
const QByteArray kTimedOut = "<no answer>";

/// A terminal stand-in: a plain UDP socket on loopback that collects every datagram it receives.
class Client
{
public:
    explicit Client(quint16 devicePort) : m_devicePort(devicePort)
    {
        QObject::connect(&m_socket, &QUdpSocket::readyRead, [this] {
            while (m_socket.hasPendingDatagrams())
                m_received.append(m_socket.receiveDatagram().data());
        });
    }
    bool bind(const QHostAddress &address = QHostAddress::LocalHost) { return m_socket.bind(address, 0); }
    void send(const QByteArray &line) { m_socket.writeDatagram(line + "\r\n", QHostAddress::LocalHost, m_devicePort); }

    /// The next count datagrams, or kTimedOut in place of those that never came.
    QByteArrayList take(int count)
    {
        // Those that never come are marked below, where the comparison shows them.
        (void)QTest::qWaitFor([&] { return m_received.size() >= count; }, 5000);
        QByteArrayList replies = m_received.mid(0, count);
        m_received = m_received.mid(count);
        while (replies.size() < count)
            replies.append(kTimedOut);
        return replies;
    }

    /// Every datagram that answers line.
    QByteArrayList exchange(const QByteArray &line)
    {
        send(line);
        send(kSentinel);
        if (!QTest::qWaitFor([&] { return m_received.contains(kSentinelReply); }, 5000))
            return m_received + QByteArrayList{kTimedOut};
        QByteArrayList replies = m_received.mid(0, m_received.indexOf(kSentinelReply));
        m_received = m_received.mid(replies.size() + 1);
        return replies;
    }

private:
    QUdpSocket m_socket;
    quint16 m_devicePort;
    QByteArrayList m_received;
};

QByteArrayList withLineEnds(const QByteArrayList &lines)
{
    QByteArrayList out;
    for (const QByteArray &line : lines)
        out.append(line + "\r\n");
    return out;
}

QByteArray pattern(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char((i * 37 + 200) & 255));
    return bytes;
}

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
    void newAnswersAfterItsDelay();
    void loginPerSenderAddress();
    void diskFolderHoldsTheFiles();
    void busyPortFailsToStart();
};

void TestSim::replies_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<int>("errorAfter");
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArrayList>("replies");

    const QByteArrayList five(5, "OK");
    QTest::newRow("VER") << false << -1 << QByteArrayList{"VER"} << QByteArrayList{"VER 3.1 SIM"};
    QTest::newRow("lines listed by number")
        << false << -1 << QByteArrayList{"30 END", "10 PRINT 1", "20 GOTO 10", "LIST"}
        << QByteArrayList{"OK", "OK", "OK", "10 PRINT 1", "20 GOTO 10", "30 END", "OK"};
    QTest::newRow("line replaced and deleted, lower-case list")
        << false << -1 << QByteArrayList{"10 PRINT 1", "20 END", "10 PRINT 2", "20", "list"}
        << QByteArrayList{"OK", "OK", "OK", "OK", "10 PRINT 2", "OK"};
    QTest::newRow("serial spelling, empty program") << false << -1 << QByteArrayList{"LISt"} << QByteArrayList{"OK"};
    QTest::newRow("line number with zeros")
        << false << -1 << QByteArrayList{"0010PRINT 5", "LIST"} << QByteArrayList{"OK", "10 PRINT 5", "OK"};
    QTest::newRow("line number too big") << false << -1 << QByteArrayList{"70000 END"}
                                         << QByteArrayList{"ERROR bad line number"};
    QTest::newRow("unknown command") << false << -1 << QByteArrayList{"HELLO"}
                                     << QByteArrayList{"ERROR unknown command"};
    QTest::newRow("empty line") << false << -1 << QByteArrayList{""} << QByteArrayList{"OK"};
    QTest::newRow("MDC VER") << false << -1 << QByteArrayList{"MDC 16,VER"}
                             << QByteArrayList{"MDC 16: VER 3.1 STATION"};
    QTest::newRow("MDC program line") << false << -1 << QByteArrayList{"MDC 255,10 PRINT 1"}
                                      << QByteArrayList{"MDC 255: OK"};
    QTest::newRow("MDC bad addresses") << false << -1 << QByteArrayList{"MDC 256,VER", "MDC ,VER", "MDC 16"}
                                       << QByteArrayList(3, "ERROR bad argument");
    QTest::newRow("UART") << false << -1 << QByteArrayList{"UART 2,7"} << QByteArrayList{"OK"};

    const QByteArray data = pattern(50);
    for (bool folder : {false, true}) {
        const QByteArray in = folder ? " (folder)" : " (memory)";
        QTest::newRow("50 bytes written and read back" + in)
            << folder << -1
            << QByteArrayList{"OPENWR \"F.BIN\"",
                              writeCommand(data.mid(0, 21)),
                              writeCommand(data.mid(21, 21)),
                              writeCommand(data.mid(42)),
                              "CLOSE",
                              "OPENRD \"F.BIN\"",
                              "READ 20\"",
                              "READ 20\"",
                              "READ 20\"",
                              "READ 20\""}
            << five + QByteArrayList{"OK", hex(data.mid(0, 20)),     "OK", hex(data.mid(20, 20)),
                                     "OK", hex(data.mid(40)) + "ND", "ND"};
        QTest::newRow("40 bytes end in a lone ND" + in)
            << folder << -1
            << QByteArrayList{"OPENWR \"F.BIN\"",
                              writeCommand(data.mid(0, 21)),
                              writeCommand(data.mid(21, 19)),
                              "CLOSE",
                              "OPENRD \"F.BIN\"",
                              "READ 20\"",
                              "READ 20\"",
                              "READ 20\""}
            << QByteArrayList{"OK", "OK", "OK", "OK", "OK", hex(data.mid(0, 20)), "OK", hex(data.mid(20, 20)),
                              "OK", "ND"};
        QTest::newRow("OPENWR empties the file" + in)
            << folder << -1 << QByteArrayList{"OPENWR \"E.TXT\"", "WRITE \"0A\"", "OPENWR \"E.TXT\"", "CLOSE",
                                              "OPENRD \"E.TXT\"", "READ 20\""}
            << five + QByteArrayList{"ND"};
        QTest::newRow("missing file" + in)
            << folder << -1 << QByteArrayList{"OPENRD \"NONE.TXT\""} << QByteArrayList{"ERROR file not found"};
        QTest::newRow("bad names" + in) << folder << -1
                                        << QByteArrayList{"OPENWR NAME.TXT", "OPENWR \"../X.TXT\"", "OPENWR \"\""}
                                        << QByteArrayList(3, "ERROR bad file name");
    }
    QTest::newRow("no open file") << false << -1 << QByteArrayList{"WRITE \"00\"", "READ 20\"", "CLOSE", "READ 20\""}
                                  << QByteArrayList{"ERROR no file open", "ERROR no file open", "OK",
                                                    "ERROR no file open"};
    QTest::newRow("bad hex") << false << -1
                             << QByteArrayList{"OPENWR \"H.TXT\"", "WRITE \"0a\"", "WRITE \"ABC\"", "WRITE 00"}
                             << QByteArrayList{"OK", "ERROR bad hex", "ERROR bad hex", "ERROR bad hex"};
    QTest::newRow("error after 2 written blocks keeps them")
        << false << 2 << QByteArrayList{"OPENWR \"X.TXT\"", "WRITE \"0102\"",   "WRITE \"0304\"", "WRITE \"0506\"",
                                        "WRITE \"0708\"",   "OPENRD \"X.TXT\"", "READ 20\""}
        << QByteArrayList{"OK", "OK", "OK", "ERROR simulated failure", "ERROR no file open", "OK", "01020304ND"};
    QTest::newRow("error after 1 read block, counted per transfer")
        << false << 1 << QByteArrayList{"OPENWR \"Y.TXT\"", writeCommand(data), "OPENRD \"Y.TXT\"", "READ 20\"",
                                        "READ 20\"",        "OPENRD \"Y.TXT\"", "READ 20\""}
        << QByteArrayList{
               "OK", "OK", "OK", hex(data.mid(0, 20)), "OK", "ERROR simulated failure", "OK", hex(data.mid(0, 20)),
               "OK"};
    QTest::newRow("error after 0 blocks") << false << 0 << QByteArrayList{"OPENWR \"Z.TXT\"", "WRITE \"00\""}
                                          << QByteArrayList{"OK", "ERROR simulated failure"};
}

void TestSim::replies()
{
    QFETCH(bool, folder);
    QFETCH(int, errorAfter);
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, replies);

    QTemporaryDir disk;
    DeviceSim::Options options;
    options.port = 0;
    options.errorAfterBlocks = errorAfter;
    if (folder)
        options.diskFolder = disk.filePath("flash");
    DeviceSim sim(options);
    QVERIFY(sim.start());
    Client client(sim.port());
    QVERIFY(client.bind());

    QByteArrayList received;
    for (const QByteArray &command : commands)
        received += client.exchange(command);
    QCOMPARE(received, withLineEnds(replies));
}

void TestSim::newAnswersAfterItsDelay()
{
    DeviceSim::Options options;
    options.port = 0;
    options.newDelayMs = 50;
    DeviceSim sim(options);
    QVERIFY(sim.start());
    Client client(sim.port());
    QVERIFY(client.bind());

    QCOMPARE(client.exchange("10 PRINT 1"), withLineEnds({"OK"}));
    // Both datagrams are waiting when the device turns to them, so VER is answered before NEW's delay ends.
    client.send("NEW");
    client.send("VER");
    QCOMPARE(client.take(2), withLineEnds({"VER 3.1 SIM", "OK"}));
    QCOMPARE(client.exchange("LIST"), withLineEnds({"OK"}));
}

void TestSim::loginPerSenderAddress()
{
    DeviceSim::Options options;
    options.port = 0;
    options.login = true;
    DeviceSim sim(options);
    QVERIFY(sim.start());
    Client first(sim.port());
    QVERIFY(first.bind());

    const QByteArrayList steps{"VER", "admin", "secret", "VER"};
    QByteArrayList received;
    for (const QByteArray &step : steps) {
        first.send(step);
        received += first.take(1);
    }
    QCOMPARE(received, withLineEnds({"Login:", "Password:", "OK", "VER 3.1 SIM"}));

    // The login holds for the sender's address, whatever its port.
    Client samePlace(sim.port());
    QVERIFY(samePlace.bind());
    samePlace.send("VER");
    QCOMPARE(samePlace.take(1), withLineEnds({"VER 3.1 SIM"}));

    Client elsewhere(sim.port());
    if (!elsewhere.bind(QHostAddress("127.0.0.2")))
        QSKIP("127.0.0.2 is not a loopback address on this host");
    elsewhere.send("VER");
    QCOMPARE(elsewhere.take(1), withLineEnds({"Login:"}));
}

void TestSim::diskFolderHoldsTheFiles()
{
    QTemporaryDir disk;
    QVERIFY(disk.isValid());
    QFile existing(disk.filePath("OLD.BIN"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("\x00\xff\r\n", 4);
    existing.close();

    DeviceSim::Options options;
    options.port = 0;
    options.diskFolder = disk.path();
    DeviceSim sim(options);
    QVERIFY(sim.start());
    Client client(sim.port());
    QVERIFY(client.bind());

    QByteArrayList received;
    for (const char *command : {"OPENRD \"OLD.BIN\"", "READ 20\"", "OPENWR \"NEW.BIN\"", "WRITE \"41420D0A00\""})
        received += client.exchange(command);
    QCOMPARE(received, withLineEnds({"OK", "00FF0D0AND", "OK", "OK"}));

    // The written bytes reach the file by CLOSE at the latest.
    QCOMPARE(client.exchange("CLOSE"), withLineEnds({"OK"}));
    QFile written(disk.filePath("NEW.BIN"));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("AB\r\n\x00", 5));
}

void TestSim::busyPortFailsToStart()
{
    DeviceSim::Options options;
    options.port = 0;
    DeviceSim first(options);
    QVERIFY(first.start());
    options.port = first.port();
    DeviceSim second(options);
    QString error;
    QVERIFY(!second.start(&error));
    QVERIFY2(error.startsWith(QString("cannot bind UDP port %1").arg(options.port)), qPrintable(error));
    QCOMPARE(second.port(), quint16(0));
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
