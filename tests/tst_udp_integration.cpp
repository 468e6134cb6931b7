// SPDX-License-Identifier: MIT
#include "integration.h"

#include <QTest>
#include <QUdpSocket>

namespace
{
/// Types VER in the command line and presses Enter.
void enterVer(UDP &udp)
{
    udp.tbSendData.setText("VER");
    qint16 key = 13;
    udp.tbSendData_KeyPress(key);
}
} // namespace

class TestUdpIntegration : public QObject
{
    Q_OBJECT
private slots:
    void versionRoundTrip_data();
    void versionRoundTrip();
    void foreignHostDropped();
    void programRoundTrip();
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
    QVERIFY(link.udp.YesConnect.Visible() && !link.udp.cbBind.Enabled() && link.udp.cbSendData.Enabled());
    link.udp.Check2.setValue(wrap);
    link.udp.Text4.setText("16");
    enterVer(link.udp);
    // The echo and Enter's line break come first; the reply follows as the device sent it.
    QTRY_COMPARE(link.udp.tbReceiveData.Text(), "\r\nVER\r\n" + reply);
    // The typed line, never its wrapped form, then the reply raw.
    QCOMPARE(link.logAfterStart(), "VER\r\n" + reply);

    link.udp.Command1_Click();
    QVERIFY(link.udp.Winsock1.state() != 1);
    QVERIFY(!link.udp.YesConnect.Visible() && link.udp.cbBind.Enabled() && !link.udp.cbSendData.Enabled());
    QVERIFY(link.boxes.boxes.isEmpty());
}

void TestUdpIntegration::foreignHostDropped()
{
    SimLink link;
    QVERIFY2(link.connect(), qPrintable(link.error));
    QUdpSocket stranger;
    if (!stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0))
        QSKIP("127.0.0.2 cannot be bound on this host");
    stranger.writeDatagram("OK\r\n", QHostAddress::LocalHost, link.winsock.localPort());
    QTRY_COMPARE(link.udp.Winsock1.droppedCount(), quint64(1));
    QCOMPARE(link.udp.tbReceiveData.Text(), QByteArray());
    // The device itself is still heard on the same socket.
    enterVer(link.udp);
    QTRY_COMPARE(link.udp.tbReceiveData.Text(), QByteArray("\r\nVER\r\nVER 3.1 SIM\r\n"));
    QCOMPARE(link.logAfterStart(), QByteArray("VER\r\nVER 3.1 SIM\r\n"));
}

void TestUdpIntegration::programRoundTrip()
{
    DeviceSim::Options options;
    options.newDelayMs = 10;
    SimLink link(options);
    QVERIFY2(link.connect(), qPrintable(link.error));
    UDP &udp = link.udp;
    // The device lists a line as its number, a blank and the statement: the listing gives this file back.
    QByteArray program;
    for (int n = 10; n <= 3000; n += 10)
        program += QByteArray::number(n) + " PRINT \"LINE " + QByteArray::number(n) + "\";" +
                   QByteArray::number(n % 7) + "\r\n";
    QVERIFY(link.writeFile(QStringLiteral("prog.bas"), program));
    link.dialog.answer = QStringLiteral("prog.bas");
    udp.Command10_Click();
    QVERIFY(udp.ProgDownloadMode == 1);
    // The device's OK to the last line arrives after completion, as console text.
    const QByteArray done = "SEND BASIC PROGRAM COMPLETED\r\nOK\r\n";
    QTRY_COMPARE_WITH_TIMEOUT(udp.tbReceiveData.Text(), done, 30000);

    link.dialog.answer = QStringLiteral("back.bas");
    udp.Command11_Click();
    QTRY_VERIFY_WITH_TIMEOUT(udp.ProgSaveMode == 0, 30000);
    QCOMPARE(udp.tbReceiveData.Text(), QByteArray("LOAD BASIC PROGRAM COMPLETED\r\n"));
    QCOMPARE(link.file(QStringLiteral("back.bas")), program);

    udp.Command12_Click();
    QTRY_COMPARE(udp.tbReceiveData.Text(), QByteArray("LOAD BASIC PROGRAM COMPLETED\r\nOK\r\n"));
    link.dialog.answer = QStringLiteral("empty.bas");
    udp.Command11_Click();
    QTRY_VERIFY(udp.ProgSaveMode == 0);
    QVERIFY(QFile::exists(QStringLiteral("empty.bas")));
    QCOMPARE(link.file(QStringLiteral("empty.bas")), QByteArray());
    QVERIFY(link.boxes.boxes.isEmpty());
    // Program lines and the program commands are not logged; what came back is, raw.
    QCOMPARE(link.logAfterStart(), QByteArray("OK\r\n").repeated(300) + program + "OK\r\nOK\r\nOK\r\n");
}

QTEST_GUILESS_MAIN(TestUdpIntegration)
#include "tst_udp_integration.moc"
