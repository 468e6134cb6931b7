// SPDX-License-Identifier: MIT
#include "app/failure.h"
#include "platform/qt/qtwinsock.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

namespace
{

/// The failure number a call throws, 0 when it does not fail.
template <typename F> int failureOf(F call)
{
    try {
        call();
    } catch (const Failure &f) {
        return f.number();
    }
    return 0;
}

quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress);
    return probe.localPort();
}

QByteArray allBytes()
{
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    return all;
}

/// A socket bound to a free port, aimed at `peer`, recording every arrival's payload.
struct Link {
    explicit Link(const QUdpSocket &peer, const QByteArray &remoteHost = "127.0.0.1")
    {
        winsock.setArrivalHandler([this] { arrived << winsock.getData(); });
        winsock.setProtocol(Winsock::UDP);
        winsock.setRemotePort(peer.localPort());
        winsock.setRemoteHost(remoteHost);
        winsock.bind(QByteArray::number(freePort()));
    }
    QtWinsock winsock;
    QByteArrayList arrived;
};

} // namespace

class TestWinsock : public QObject
{
    Q_OBJECT
private slots:
    void allBytesBothWays();
    void stateFollowsBindAndClose();
    void busyPortFailsBind_data();
    void busyPortFailsBind();
    void badPortFailsBind_data();
    void badPortFailsBind();
    void rejectsBadRemote();
    void acceptsOnlyRemoteHost_data();
    void acceptsOnlyRemoteHost();
    void burstRaisesOneArrivalEach();
};

void TestWinsock::allBytesBothWays()
{
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
    Link link(peer);
    QCOMPARE(link.winsock.state(), qint16(1));

    link.winsock.sendData(allBytes());
    QTRY_VERIFY(peer.hasPendingDatagrams());
    const QNetworkDatagram got = peer.receiveDatagram();
    QCOMPARE(got.data(), allBytes());
    QCOMPARE(got.senderPort(), int(link.winsock.localPort()));

    peer.writeDatagram(allBytes(), QHostAddress::LocalHost, link.winsock.localPort());
    QTRY_COMPARE(link.arrived, QByteArrayList{allBytes()});
}

void TestWinsock::stateFollowsBindAndClose()
{
    QtWinsock winsock;
    QVERIFY(winsock.state() != 1);
    QCOMPARE(failureOf([&] { winsock.sendData("VER\r\n"); }), int(Err::SocketNotConnected));
    winsock.close(); // harmless when not bound
    winsock.setRemoteHost("127.0.0.1");
    winsock.bind(QByteArray::number(freePort()));
    QCOMPARE(winsock.state(), qint16(1));
    QVERIFY(!QHostAddress(QString::fromLatin1(winsock.localIP())).isNull());
    winsock.close();
    QVERIFY(winsock.state() != 1);
    QCOMPARE(failureOf([&] { winsock.sendData("VER\r\n"); }), int(Err::SocketNotConnected));
}

void TestWinsock::busyPortFailsBind_data()
{
    QTest::addColumn<int>("holderMode");
    QTest::newRow("holder plain") << int(QAbstractSocket::DefaultForPlatform);
    // Linux lets two sockets that both ask for address reuse share a port.
    QTest::newRow("holder asks to share") << int(QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
}

void TestWinsock::busyPortFailsBind()
{
    QFETCH(int, holderMode);
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::BindMode(holderMode)));
    QtWinsock winsock;
    QCOMPARE(failureOf([&] { winsock.bind(QByteArray::number(holder.localPort())); }), int(Err::SocketAddressInUse));
    QVERIFY(winsock.state() != 1);
}

void TestWinsock::badPortFailsBind_data()
{
    QTest::addColumn<QByteArray>("port");
    QTest::addColumn<int>("failure");
    QTest::newRow("letters") << QByteArray("abc") << int(Err::TypeMismatch);
    QTest::newRow("empty") << QByteArray("") << int(Err::TypeMismatch);
    QTest::newRow("too large") << QByteArray("70000") << int(Err::SocketInvalidArgument);
    QTest::newRow("negative") << QByteArray("-1") << int(Err::SocketInvalidArgument);
}

void TestWinsock::badPortFailsBind()
{
    QFETCH(QByteArray, port);
    QFETCH(int, failure);
    QtWinsock winsock;
    QCOMPARE(failureOf([&] { winsock.bind(port); }), failure);
    QVERIFY(winsock.state() != 1);
}

void TestWinsock::rejectsBadRemote()
{
    QtWinsock winsock;
    QCOMPARE(failureOf([&] { winsock.setRemotePort(70000); }), int(Err::SocketInvalidArgument));
    QCOMPARE(failureOf([&] { winsock.setRemotePort(-1); }), int(Err::SocketInvalidArgument));
    QCOMPARE(failureOf([&] { winsock.setRemoteHost(""); }), int(Err::SocketHostNotFound));
    QCOMPARE(failureOf([&] { winsock.setRemotePort(111); }), 0);
}

void TestWinsock::acceptsOnlyRemoteHost_data()
{
    QTest::addColumn<QByteArray>("remoteHost");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("the remote host") << QByteArray("127.0.0.1") << "127.0.0.1" << true;
    QTest::newRow("the remote host by name") << QByteArray("localhost") << "127.0.0.1" << true;
    QTest::newRow("a foreign host") << QByteArray("127.0.0.1") << "127.0.0.2" << false;
    QTest::newRow("any host after a broadcast") << QByteArray("255.255.255.255") << "127.0.0.2" << true;
}

void TestWinsock::acceptsOnlyRemoteHost()
{
    QFETCH(QByteArray, remoteHost);
    QFETCH(QString, sender);
    QFETCH(bool, accepted);
    QUdpSocket other;
    if (!other.bind(QHostAddress(sender), 0))
        QSKIP("Cannot bind a socket to the sender's loopback address on this host");
    QUdpSocket device;
    QVERIFY(device.bind(QHostAddress::LocalHost, 0));
    Link link(device, remoteHost);
    const quint16 port = link.winsock.localPort();

    other.writeDatagram("first", QHostAddress::LocalHost, port);
    device.writeDatagram("second", QHostAddress::LocalHost, port);
    QTRY_VERIFY(link.arrived.contains("second"));
    const QByteArrayList expected = accepted ? QByteArrayList{"first", "second"} : QByteArrayList{"second"};
    QCOMPARE(link.arrived, expected);
    QCOMPARE(link.winsock.droppedCount(), quint64(accepted ? 0 : 1));
}

void TestWinsock::burstRaisesOneArrivalEach()
{
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
    Link link(peer);
    QByteArrayList sent;
    for (int i = 0; i < 200; ++i) {
        sent << "datagram " + QByteArray::number(i);
        QCOMPARE(peer.writeDatagram(sent.last(), QHostAddress::LocalHost, link.winsock.localPort()),
                 qint64(sent.last().size()));
    }
    QTRY_COMPARE(link.arrived.size(), sent.size());
    QCOMPARE(link.arrived, sent);
}

QTEST_GUILESS_MAIN(TestWinsock)
#include "tst_winsock.moc"
