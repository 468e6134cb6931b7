// SPDX-License-Identifier: MIT
#include "harness.h"

#include <QTest>

class TestLink : public QObject
{
    Q_OBJECT
private slots:
    void connectUp_data();
    void connectUp();
    void connectRefused_data();
    void connectRefused();
    void connectFailureClosesSocket();
    void disconnect_data();
    void disconnect();
};

namespace
{
/// Every element of the link-down/link-up table, and the socket, agree on the state.
void checkLink(Harness &h, bool up)
{
    QCOMPARE(h.winsock.state() == 1, up);
    QCOMPARE(h.udp.cbBind.Enabled(), !up);
    QCOMPARE(h.udp.cbSendData.Enabled(), up);
    QCOMPARE(h.udp.YesConnect.Visible(), up);
    QCOMPARE(h.udp.NoConnect.Visible(), !up);
    QCOMPARE(h.udp.Frame2.Enabled(), up);
    QCOMPARE(h.udp.Frame6.Enabled(), up);
}

QString arpFlush()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("arp -d *");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("arp -a -d");
#else
    return QStringLiteral("ip neigh flush all");
#endif
}
} // namespace

void TestLink::connectUp_data()
{
    QTest::addColumn<double>("random");
    QTest::addColumn<quint16>("port");
    QTest::newRow("lowest local port") << 0.0 << quint16(5500);
    QTest::newRow("highest local port") << 0.9999 << quint16(6499);
}

void TestLink::connectUp()
{
    QFETCH(double, random);
    QFETCH(quint16, port);
    Harness h;
    h.system.random = random;
    h.udp.Form_Load();
    h.udp.tbSendData.setText("typed");
    h.connect();
    checkLink(h, true);
    QCOMPARE(h.winsock.boundPort, port);
    QCOMPARE(h.winsock.protocol, Winsock::UDP);
    QCOMPARE(h.winsock.remotePort, 111);
    QCOMPARE(h.winsock.remoteHost, QByteArray("127.0.0.1"));
    QCOMPARE(h.udp.Text1.Text(), QByteArray("10.20.30.40"));
    QCOMPARE(h.udp.tbSendData.Text(), QByteArray());
    QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    QCOMPARE(h.system.commands, QStringList{arpFlush()});
    QVERIFY(h.boxes.boxes.isEmpty());
}

void TestLink::connectRefused_data()
{
    QTest::addColumn<bool>("serialOpen");
    QTest::addColumn<QByteArray>("remotePort");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("localPort");
    QTest::addColumn<bool>("busy");
    QTest::newRow("serial port open") << true << QByteArray("111") << QByteArray("127.0.0.1") << QByteArray("6000")
                                      << false;
    QTest::newRow("remote port abc") << false << QByteArray("abc") << QByteArray("127.0.0.1") << QByteArray("6000")
                                     << false;
    QTest::newRow("remote port beyond 32 bits")
        << false << QByteArray("4294967407") << QByteArray("127.0.0.1") << QByteArray("6000") << false;
    QTest::newRow("remote port out of range")
        << false << QByteArray("70000") << QByteArray("127.0.0.1") << QByteArray("6000") << false;
    QTest::newRow("host rejected") << false << QByteArray("111") << QByteArray() << QByteArray("6000") << false;
    QTest::newRow("local port busy") << false << QByteArray("111") << QByteArray("127.0.0.1") << QByteArray("6000")
                                     << true;
    QTest::newRow("local port not a number")
        << false << QByteArray("111") << QByteArray("127.0.0.1") << QByteArray("x1") << false;
}

void TestLink::connectRefused()
{
    QFETCH(bool, serialOpen);
    QFETCH(QByteArray, remotePort);
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, localPort);
    QFETCH(bool, busy);
    Harness h;
    h.udp.Form_Load();
    h.mscomm.setPortOpen(serialOpen);
    h.udp.tbRemotePort.setText(remotePort);
    h.udp.tbLocalPort.setText(localPort);
    if (busy)
        h.winsock.busyPorts << localPort.toUShort();
    h.udp.ComboRemoteIP.setText(host);
    h.udp.tbSendData.setText("typed");
    h.udp.cbBind_Click();
    checkLink(h, false);
    QCOMPARE(h.udp.tbSendData.Text(), QByteArray());
    QCOMPARE(h.udp.Text1.Text(), QByteArray());
    QVERIFY(h.boxes.boxes.isEmpty());
    // With the serial port open the socket is not even touched.
    QCOMPARE(h.system.commands.size(), serialOpen ? 0 : 1);
    QCOMPARE(h.winsock.protocol, serialOpen ? Winsock::TCP : Winsock::UDP);
}

void TestLink::connectFailureClosesSocket()
{
    Harness h;
    h.udp.Form_Load();
    h.connect();
    h.udp.tbRemotePort.setText("abc");
    h.udp.cbBind_Click();
    QVERIFY(h.winsock.state() != 1);
    QVERIFY(h.udp.cbBind.Enabled());
    QVERIFY(!h.udp.cbSendData.Enabled());
}

void TestLink::disconnect_data()
{
    QTest::addColumn<bool>("connectFirst");
    QTest::addColumn<bool>("serialOpen");
    QTest::addColumn<bool>("upAfter");
    QTest::addColumn<QByteArray>("myIP");
    QTest::newRow("without connect") << false << false << false << QByteArray();
    QTest::newRow("after connect, address kept") << true << false << false << QByteArray("10.20.30.40");
    QTest::newRow("serial port open") << true << true << true << QByteArray("10.20.30.40");
}

void TestLink::disconnect()
{
    QFETCH(bool, connectFirst);
    QFETCH(bool, serialOpen);
    QFETCH(bool, upAfter);
    QFETCH(QByteArray, myIP);
    Harness h;
    h.udp.Form_Load();
    if (connectFirst)
        h.connect();
    h.mscomm.setPortOpen(serialOpen);
    h.udp.tbSendData.setText("typed");
    h.udp.Command1_Click();
    checkLink(h, upAfter);
    QCOMPARE(h.udp.tbSendData.Text(), QByteArray());
    QCOMPARE(h.udp.Text1.Text(), myIP);
    QVERIFY(h.boxes.boxes.isEmpty());
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
