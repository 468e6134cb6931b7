// SPDX-License-Identifier: MIT
// Owns the real datagram socket: what it refuses, every byte both ways, an arrival per datagram, whom it hears.
#include "fakes.h"
#include "platform/qt/qtwinsock.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <numeric>

namespace
{
/// A socket bound to a port of the system's choosing and aimed at a loopback peer that plays the device.
struct Link {
    explicit Link(const QByteArray &remoteHost = "127.0.0.1")
    {
        peer.bind(QHostAddress::LocalHost, 0);
        winsock.setArrivalHandler([this] {
            arrived << winsock.getData();
            if (arrived.size() == 1)
                QTimer::singleShot(0, &winsock, [this] { arrivedBeforeOthers = arrived.size(); });
            QElapsedTimer busy;
            busy.start();
            while (busy.nsecsElapsed() < busyNs) {
            }
        });
        winsock.setRemotePort(peer.localPort());
        winsock.setRemoteHost(remoteHost);
        winsock.bind("0");
    }
    QUdpSocket peer;
    QtWinsock winsock;
    QByteArrayList arrived;
    qint64 busyNs = 0;                  // what each arrival costs the handler, as a window that draws it
    qsizetype arrivedBeforeOthers = -1; // arrivals handled before the rest of the program had its turn
};
} // namespace

class TestWinsock : public QObject
{
    Q_OBJECT
private slots:
    void refusalsAndSends()
    {
        Link link; // also a terminal already on the port, as a second start would find it
        QtWinsock &winsock = link.winsock, second;
        // What is refused leaves the socket as it was.
        QCOMPARE(failureOf([&] { winsock.setRemotePort(70000); }), int(Err::SocketInvalidArgument));
        QCOMPARE(failureOf([&] { winsock.setRemotePort(-1); }), int(Err::SocketInvalidArgument));
        QCOMPARE(failureOf([&] { winsock.setRemoteHost(""); }), int(Err::SocketHostNotFound));
        QCOMPARE(failureOf([&] { winsock.sendData(QByteArray(65508, 'x')); }), int(Err::SocketMessageTooLong));
        QCOMPARE(failureOf([&] { second.bind("abc"); }), int(Err::TypeMismatch));
        QCOMPARE(failureOf([&] { second.bind("70000"); }), int(Err::SocketInvalidArgument));
        QCOMPARE(failureOf([&] { second.bind(QByteArray::number(winsock.localPort())); }),
                 int(Err::SocketAddressInUse));
        QVERIFY(second.state() != 1);
        // The address shown as the terminal's own is IPv4, as the device is reached: never an IPv6 one.
        QCOMPARE(QHostAddress(QString::fromLatin1(winsock.localIP())).protocol(), QAbstractSocket::IPv4Protocol);
        // A host name is looked up while what is already queued runs; a send meanwhile fails instead of going to the
        // old host or being dropped.
        int sendDuringLookup = -1;
        QTimer::singleShot(0, &winsock, [&] { sendDuringLookup = failureOf([&] { winsock.sendData("early"); }); });
        winsock.setRemoteHost("localhost");
        QCOMPARE(sendDuringLookup, int(Err::SocketNotConnected));
        QByteArray all(256, 0);
        std::iota(all.begin(), all.end(), char(0));
        winsock.sendData(all);
        QTRY_VERIFY_WITH_TIMEOUT(link.peer.hasPendingDatagrams(), kPatienceMs);
        const QNetworkDatagram got = link.peer.receiveDatagram();
        QCOMPARE(got.data(), all);
        QCOMPARE(got.senderPort(), int(winsock.localPort()));
        winsock.close();
        QVERIFY(winsock.state() != 1);
    }

    void arrivals_data()
    {
        QTest::addColumn<QByteArray>("remoteHost");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("devicePort"); // the sender's port is the device's
        QTest::addColumn<QByteArrayList>("datagrams");
        QTest::addColumn<bool>("heard");
        QTest::addColumn<int>("busyUs"); // each arrival's handling
        QByteArrayList burst{QByteArray(256, 0)};
        std::iota(burst[0].begin(), burst[0].end(), char(0));
        for (int i = 0; i < 200; ++i)
            burst << "datagram " + QByteArray::number(i);
        const QByteArray local = "127.0.0.1";
        QTest::newRow("every byte, and a burst") << local << "127.0.0.1" << true << burst << true << 0;
        // A flood the handler cannot keep up with still leaves the window its turn to draw and to take a click.
        QTest::newRow("a burst slower to handle than to come") << local << "127.0.0.1" << true << burst << true << 500;
        // The device may send one; it is logged, and lights the link indicator.
        QTest::newRow("an empty datagram") << local << "127.0.0.1" << true << QByteArrayList{""} << true << 0;
        QTest::newRow("the remote host by name")
            << QByteArray("localhost") << "127.0.0.1" << true << QByteArrayList{"x"} << true << 0;
        QTest::newRow("a foreign host") << local << "127.0.0.2" << true << QByteArrayList{"x"} << false << 0;
        // Another program on the device's host: another terminal, a scanner.
        QTest::newRow("another port of the device's host")
            << local << "127.0.0.1" << false << QByteArrayList{"x"} << false << 0;
        QTest::newRow("any host after a broadcast")
            << QByteArray("255.255.255.255") << "127.0.0.2" << false << QByteArrayList{"x"} << true << 0;
    }
    void arrivals()
    {
        QFETCH(QByteArray, remoteHost);
        QFETCH(QString, sender);
        QFETCH(bool, devicePort);
        QFETCH(QByteArrayList, datagrams);
        QFETCH(bool, heard);
        QFETCH(int, busyUs);
        Link link(remoteHost);
        link.busyNs = busyUs * 1000LL;
        // The device's own socket, or one of the sender's: on its address with the device's port, or any other.
        QUdpSocket other;
        const bool device = devicePort && sender == QLatin1String("127.0.0.1");
        if (!device && !other.bind(QHostAddress(sender), devicePort ? link.peer.localPort() : 0))
            QSKIP("Cannot bind a socket to the sender's loopback address on this host");
        if (!device && sender != QLatin1String("127.0.0.1")) {
            // Wine tells every loopback sender as 127.0.0.1: there no other host can be heard as one.
            QUdpSocket probe;
            QVERIFY(probe.bind(QHostAddress::LocalHost, 0) &&
                    other.writeDatagram("probe", probe.localAddress(), probe.localPort()) == 5);
            QVERIFY(QTest::qWaitFor([&] { return probe.hasPendingDatagrams(); }, kPatienceMs));
            if (probe.receiveDatagram().senderAddress() != QHostAddress(sender))
                QSKIP("This host does not tell the sender's loopback address");
        }
        for (const QByteArray &datagram : datagrams)
            (device ? link.peer : other).writeDatagram(datagram, QHostAddress::LocalHost, link.winsock.localPort());
        // The remote host's own last datagram follows them: once it is in, every one before it is either in or dropped.
        link.peer.writeDatagram("last", QHostAddress::LocalHost, link.winsock.localPort());
        QVERIFY(QTest::qWaitFor([&] { return link.arrived.endsWith("last"); }, kPatienceMs));
        QCOMPARE(link.arrived, (heard ? datagrams : QByteArrayList()) << "last");
        QCOMPARE(link.winsock.droppedCount(), quint64(heard ? 0 : datagrams.size()));
        if (busyUs > 0)
            QVERIFY2(link.arrivedBeforeOthers >= 0 && link.arrivedBeforeOthers < datagrams.size(),
                     qPrintable(QString::number(link.arrivedBeforeOthers)));
    }
};

QTEST_GUILESS_MAIN(TestWinsock)
#include "tst_winsock.moc"
