// SPDX-License-Identifier: MIT
#include "harness.h"

#include <QTest>

class TestApp : public QObject
{
    Q_OBJECT
private slots:
    void startState();
    void localPort_data();
    void localPort();
    void twoStartsAppendToTheLog();
    void logThatCannotBeCreated();
    void changeCase_data();
    void changeCase();
    void clear();
    void unloadClosesAnOpenPort();
};

void TestApp::startState()
{
    Harness h;
    h.udp.Form_Load();
    QCOMPARE(h.udp.vbalProgressBar1.Text(), QByteArray("NO FILE"));
    QCOMPARE(h.udp.tbRemotePort.Text(), QByteArray("111"));
    QCOMPARE(h.udp.PortOpened + h.udp.FlashWriting + h.udp.FlashReading + h.udp.FlashLastBlock + h.udp.HistRecalled +
                 h.udp.ProgSaveMode + h.udp.ProgDownloadMode,
             0);
    QVERIFY(h.udp.RxText.isEmpty());
    QVERIFY(h.udp.NoConnect.Visible());
    QVERIFY(!h.udp.YesConnect.Visible());
    QVERIFY(!h.udp.cbSendData.Enabled());
    QVERIFY(!h.udp.Frame2.Enabled() && !h.udp.Frame5.Enabled() && !h.udp.Frame6.Enabled());
    QVERIFY(!h.udp.TMRComm.Enabled());
    QCOMPARE(h.udp.Option6.Value(), qint16(1));
    QCOMPARE(h.udp.tbSendData.Text(), QByteArray(UDP::kSendDataHint));
    QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    QVERIFY(h.boxes.boxes.isEmpty());
    QCOMPARE(h.system.randomized, 1);
}

void TestApp::localPort_data()
{
    QTest::addColumn<double>("random");
    QTest::addColumn<QByteArray>("port");
    QTest::newRow("lowest") << 0.0 << QByteArray("5500");
    QTest::newRow("middle") << 0.5 << QByteArray("6000");
    QTest::newRow("fraction dropped") << 0.1239 << QByteArray("5623");
    QTest::newRow("highest") << 0.99999 << QByteArray("6499");
}

void TestApp::localPort()
{
    QFETCH(double, random);
    QFETCH(QByteArray, port);
    Harness h;
    h.system.random = random;
    h.udp.Form_Load();
    QCOMPARE(h.udp.tbLocalPort.Text(), port);
}

void TestApp::twoStartsAppendToTheLog()
{
    Harness h;
    h.writeFile(QStringLiteral("Terminal.log"), "earlier\r\n");
    h.udp.Form_Load();
    Fakes again; // a second run of the terminal in the same folder, with a file table of its own
    again.system.now = "07.12.2026 11:12:13";
    UDP(again.platform()).Form_Load();
    QCOMPARE(h.file(QStringLiteral("Terminal.log")), QByteArray("earlier\r\n"
                                                                "START Vantrel V3.0\r\n06.12.2026 10:00:00\r\n"
                                                                "START Vantrel V3.0\r\n07.12.2026 11:12:13\r\n"));
}

void TestApp::logThatCannotBeCreated()
{
    Harness h;
    QVERIFY(QDir(h.dir.path()).mkdir(QStringLiteral("Terminal.log")));
    h.udp.Form_Load();
    QCOMPARE(h.boxes.boxes.size(), 1);
    QCOMPARE(h.boxes.boxes[0].icon, MessageBox::Critical);
    QVERIFY(h.boxes.boxes[0].title.startsWith(QLatin1String("Error#")));
    QVERIFY(h.boxes.boxes[0].title.mid(6).toInt() > 0);
    QVERIFY(!h.boxes.boxes[0].text.isEmpty());
    // The ports were filled before the log was tried, and the window goes on.
    QCOMPARE(h.udp.tbRemotePort.Text(), QByteArray("111"));
    QCOMPARE(h.udp.tbLocalPort.Text(), QByteArray("6000"));
    QCOMPARE(h.udp.ComboRemoteIP.Text(), QByteArray(kDefaultAddress));
    QVERIFY(!h.udp.logOpen());
    // A file opened later takes the number the log would have had; log lines must not land in it.
    const qint16 n = h.udp.files.FreeFile();
    h.udp.files.openOutput(n, QStringLiteral("other.txt"));
    h.udp.logLine("typed");
    h.udp.files.close(n);
    QCOMPARE(h.file(QStringLiteral("other.txt")), QByteArray());
}

void TestApp::changeCase_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("upper");
    QTest::addColumn<QByteArray>("lower");
    QTest::newRow("latin") << QByteArray("ver 3,List") << QByteArray("VER 3,LIST") << QByteArray("ver 3,list");
    // "привет Ёж" in Windows-1251
    QTest::newRow("cyrillic") << QByteArray("\xEF\xF0\xE8\xE2\xE5\xF2 \xA8\xE6")
                              << QByteArray("\xCF\xD0\xC8\xC2\xC5\xD2 \xA8\xC6")
                              << QByteArray("\xEF\xF0\xE8\xE2\xE5\xF2 \xB8\xE6");
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("controls and digits") << QByteArray("\x01\x7F 09\xFF") << QByteArray("\x01\x7F 09\xDF")
                                         << QByteArray("\x01\x7F 09\xFF");
}

void TestApp::changeCase()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, upper);
    QFETCH(QByteArray, lower);
    Harness h;
    h.udp.Form_Load();
    h.udp.tbSendData.setText(text);
    h.udp.Command2.SetFocus();
    h.udp.Command15_Click();
    QCOMPARE(h.udp.tbSendData.Text(), upper);
    QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    h.udp.tbSendData.setText(text);
    h.udp.Command2.SetFocus();
    h.udp.Command16_Click();
    QCOMPARE(h.udp.tbSendData.Text(), lower);
    QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
}

void TestApp::clear()
{
    Harness h;
    h.udp.Form_Load();
    const QByteArray log = h.file(QStringLiteral("Terminal.log"));
    h.udp.Command2_Click();
    QCOMPARE(h.udp.tbReceiveData.Text(), QByteArray());
    h.udp.tbReceiveData.append("VER 3.1\r\n");
    h.udp.Command15.SetFocus();
    h.udp.Command2_Click();
    QCOMPARE(h.udp.tbReceiveData.Text(), QByteArray());
    QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    QCOMPARE(h.file(QStringLiteral("Terminal.log")), log);
}

void TestApp::unloadClosesAnOpenPort()
{
    Harness h;
    h.udp.Form_Load();
    h.udp.Form_Unload();
    QCOMPARE(h.mscomm.closeCount, 0);
    h.mscomm.setPortOpen(true);
    h.udp.Form_Unload();
    QVERIFY(!h.mscomm.portOpen());
    QCOMPARE(h.mscomm.closeCount, 1);
}

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
