// SPDX-License-Identifier: MIT
#include "integration.h"

#include <QTest>
#include <QUdpSocket>

namespace
{
void pressEnter(UDP &udp)
{
    qint16 key = 13;
    udp.tbSendData_KeyPress(key);
}

/// The link-up column of the window: Connect greyed, Send and both link frames usable, the lit screen shown.
void verifyLinkUp(const UDP &udp)
{
    QCOMPARE(udp.Winsock1.state(), qint16(1));
    QVERIFY(!udp.cbBind.Enabled());
    QVERIFY(udp.cbSendData.Enabled());
    QVERIFY(udp.YesConnect.Visible());
    QVERIFY(!udp.NoConnect.Visible());
    QVERIFY(udp.Frame2.Enabled());
    QVERIFY(udp.Frame6.Enabled());
}

void verifyLinkDown(const UDP &udp)
{
    QVERIFY(udp.Winsock1.state() != 1);
    QVERIFY(udp.cbBind.Enabled());
    QVERIFY(!udp.cbSendData.Enabled());
    QVERIFY(!udp.YesConnect.Visible());
    QVERIFY(udp.NoConnect.Visible());
    QVERIFY(!udp.Frame2.Enabled());
    QVERIFY(!udp.Frame6.Enabled());
}
} // namespace

class TestUdpIntegration : public QObject
{
    Q_OBJECT
private slots:
    void versionRoundTrip_data();
    void versionRoundTrip();
    void foreignHostDropped();
};

void TestUdpIntegration::versionRoundTrip_data()
{
    QTest::addColumn<qint16>("wrap");
    QTest::addColumn<QByteArray>("reply");

    // The device answers VER itself, and passes a wrapped one on to Modbus station 16, which gives its own.
    QTest::newRow("plain") << qint16(0) << QByteArray("VER 3.1 SIM\r\n");
    QTest::newRow("wrapped for station 16") << qint16(1) << QByteArray("MDC 16: VER 3.1 STATION\r\n");
}

void TestUdpIntegration::versionRoundTrip()
{
    QFETCH(qint16, wrap);
    QFETCH(QByteArray, reply);

    SimLink link;
    QVERIFY2(link.connect(), qPrintable(link.error));
    verifyLinkUp(link.udp);
    if (QTest::currentTestFailed())
        return;

    link.udp.Check2.setValue(wrap);
    link.udp.Text4.setText("16");
    link.udp.tbSendData.setText("VER");
    pressEnter(link.udp);

    // The echo and Enter's line break come first; the reply follows as the device sent it.
    QTRY_COMPARE(link.udp.tbReceiveData.Text(), "\r\nVER\r\n" + reply);
    QCOMPARE(link.udp.tbSendData.Text(), QByteArray());
    // The typed line, never its wrapped form, then the reply raw.
    QCOMPARE(link.logAfterStart(), "VER\r\n" + reply);
    QCOMPARE(link.udp.Winsock1.droppedCount(), quint64(0));

    link.udp.Command1_Click();
    verifyLinkDown(link.udp);
    QVERIFY(link.boxes.boxes.isEmpty());
}

void TestUdpIntegration::foreignHostDropped()
{
    SimLink link;
    QVERIFY2(link.connect(), qPrintable(link.error));
    QUdpSocket stranger;
    if (!stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0))
        QSKIP("127.0.0.2 cannot be bound on this host");

    const QByteArray paneBefore = link.udp.tbReceiveData.Text();
    stranger.writeDatagram("OK\r\n", QHostAddress::LocalHost, link.winsock.localPort());
    QTRY_COMPARE(link.udp.Winsock1.droppedCount(), quint64(1));
    QCOMPARE(link.udp.tbReceiveData.Text(), paneBefore);
    QCOMPARE(link.logAfterStart(), QByteArray());

    // The device itself is still heard on the same socket.
    link.udp.tbSendData.setText("VER");
    pressEnter(link.udp);
    QTRY_COMPARE(link.udp.tbReceiveData.Text(), paneBefore + "\r\nVER\r\nVER 3.1 SIM\r\n");
    QCOMPARE(link.logAfterStart(), QByteArray("VER\r\nVER 3.1 SIM\r\n"));
    QCOMPARE(link.udp.Winsock1.droppedCount(), quint64(1));
}

QTEST_GUILESS_MAIN(TestUdpIntegration)
#include "tst_udp_integration.moc"
