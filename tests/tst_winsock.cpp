// SPDX-License-Identifier: MIT
#include "fakes.h"
#include "platform/qt/qtwinsock.h"

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
        winsock.setArrivalHandler([this] { arrived << winsock.getData(); });
        winsock.setProtocol(Winsock::UDP);
        winsock.setRemotePort(peer.localPort());
        winsock.setRemoteHost(remoteHost);
        winsock.bind("0");
    }
    void send(QUdpSocket &from, const QByteArray &data)
    {
        from.writeDatagram(data, QHostAddress::LocalHost, winsock.localPort());
    }

    QUdpSocket peer;
    QtWinsock winsock;
    QByteArrayList arrived;
};
} // namespace

class TestWinsock : public QObject
{
    Q_OBJECT
private slots:
    void allBytesBothWaysBurstUntilClosed()
    {
        QByteArray all(256, 0);
        std::iota(all.begin(), all.end(), char(0));
        Link link;
        QCOMPARE(link.winsock.state(), qint16(1));
        // A refused remote port or host leaves the one in use.
        QCOMPARE(failureOf([&] { link.winsock.setRemotePort(70000); }), int(Err::SocketInvalidArgument));
        QCOMPARE(failureOf([&] { link.winsock.setRemoteHost(""); }), int(Err::SocketHostNotFound));
        // More than a datagram carries is refused, and the socket stays as it was.
        QCOMPARE(failureOf([&] { link.winsock.sendData(QByteArray(65508, 'x')); }), int(Err::SocketMessageTooLong));
        link.winsock.sendData(all);
        QTRY_VERIFY_WITH_TIMEOUT(link.peer.hasPendingDatagrams(), kPatienceMs);
        const QNetworkDatagram got = link.peer.receiveDatagram();
        QCOMPARE(got.data(), all);
        QCOMPARE(got.senderPort(), int(link.winsock.localPort()));
        link.send(link.peer, all);
        QByteArrayList sent{all};
        for (int i = 0; i < 200; ++i) // a burst raises one arrival per datagram
            link.send(link.peer, sent.emplace_back("datagram " + QByteArray::number(i)));
        QTRY_COMPARE_WITH_TIMEOUT(link.arrived, sent, kPatienceMs);

        link.winsock.close();
        QVERIFY(link.winsock.state() != 1);
    }

    void hostNameLookedUpWhileEventsRun()
    {
        Link link;
        QtWinsock &winsock = link.winsock;
        // What is already queued runs during the lookup; a send meanwhile fails instead of going to the old
        // host or being dropped.
        bool ranDuringLookup = false;
        int sendDuringLookup = 0;
        QTimer::singleShot(0, &winsock, [&] {
            ranDuringLookup = true;
            sendDuringLookup = failureOf([&] { winsock.sendData("early"); });
        });
        winsock.setRemoteHost("localhost");
        QVERIFY(ranDuringLookup);
        QCOMPARE(sendDuringLookup, int(Err::SocketNotConnected));
        winsock.sendData("after");
        QTRY_VERIFY_WITH_TIMEOUT(link.peer.hasPendingDatagrams(), kPatienceMs);
        QCOMPARE(link.peer.receiveDatagram().data(), QByteArray("after"));
    }

    void bindFails()
    {
        Link link; // a terminal already on the port, as a second start would find it
        QtWinsock winsock;
        QVERIFY(winsock.state() != 1);
        QCOMPARE(failureOf([&] { winsock.bind("abc"); }), int(Err::TypeMismatch));
        QCOMPARE(failureOf([&] { winsock.bind("70000"); }), int(Err::SocketInvalidArgument));
        QCOMPARE(failureOf([&] { winsock.bind(QByteArray::number(link.winsock.localPort())); }),
                 int(Err::SocketAddressInUse));
        QVERIFY(winsock.state() != 1);
    }

    void acceptsOnlyRemoteHost_data()
    {
        QTest::addColumn<QByteArray>("remoteHost");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("the remote host by name") << QByteArray("localhost") << "127.0.0.1" << true;
        QTest::newRow("a foreign host") << QByteArray("127.0.0.1") << "127.0.0.2" << false;
        QTest::newRow("any host after a broadcast") << QByteArray("255.255.255.255") << "127.0.0.2" << true;
    }
    void acceptsOnlyRemoteHost()
    {
        QFETCH(QByteArray, remoteHost);
        QFETCH(QString, sender);
        QFETCH(bool, accepted);
        QUdpSocket other;
        if (!other.bind(QHostAddress(sender), 0))
            QSKIP("Cannot bind a socket to the sender's loopback address on this host");
        Link link(remoteHost);
        link.send(other, "first");
        link.send(link.peer, "second");
        QTRY_COMPARE_WITH_TIMEOUT(
            link.arrived, (accepted ? QByteArrayList{"first", "second"} : QByteArrayList{"second"}), kPatienceMs);
        QCOMPARE(link.winsock.droppedCount(), quint64(accepted ? 0 : 1));
    }
};

QTEST_GUILESS_MAIN(TestWinsock)
#include "tst_winsock.moc"
