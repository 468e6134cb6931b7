// SPDX-License-Identifier: MIT
#include "harness.h"

#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void load_data();
    void load();
    void addDelSaveRestart();
    void delWithoutSelection();
    void saveEmptyList();
    void saveFails_data();
    void saveFails();
};

void TestSettings::load_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QByteArrayList>("entries");
    const QByteArray def = kDefaultAddress;
    QTest::newRow("no file") << false << QByteArray() << QByteArrayList{def};
    QTest::newRow("empty file") << true << QByteArray() << QByteArrayList{def};
    QTest::newRow("blank lines only") << true << QByteArray("\r\n\r\n  \r\n") << QByteArrayList{def};
    QTest::newRow("two lines") << true << QByteArray("10.0.0.7\r\n10.0.0.8\r\n")
                               << QByteArrayList{"10.0.0.7", "10.0.0.8"};
    QTest::newRow("comma on one line") << true << QByteArray("10.0.0.7,10.0.0.8\r\n")
                                       << QByteArrayList{"10.0.0.7", "10.0.0.8"};
    QTest::newRow("leading blanks, empty entries")
        << true << QByteArray("   10.0.0.7\r\n,,\r\n\t10.0.0.9") << QByteArrayList{"10.0.0.7", "10.0.0.9"};
    QTest::newRow("quoted keeps commas") << true << QByteArray("\"a,b\"\r\n10.0.0.8\r\n")
                                         << QByteArrayList{"a,b", "10.0.0.8"};
    QTest::newRow("LF line ends") << true << QByteArray("10.0.0.7\n10.0.0.8\n")
                                  << QByteArrayList{"10.0.0.7", "10.0.0.8"};
    QTest::newRow("unterminated quote") << true << QByteArray("10.0.0.7\r\n\"10.0")
                                        << QByteArrayList{"10.0.0.7", "10.0"};
}

void TestSettings::load()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, ini);
    QFETCH(QByteArrayList, entries);
    Harness h;
    if (exists)
        h.writeFile(QStringLiteral("terminal.ini"), ini);
    h.udp.Form_Load();
    QCOMPARE(h.udp.ComboRemoteIP.items(), entries);
    QCOMPARE(h.udp.ComboRemoteIP.ListIndex(), 0);
    QCOMPARE(h.udp.ComboRemoteIP.Text(), entries.first());
    QVERIFY(h.boxes.boxes.isEmpty());
    // The settings file was closed again: it can be replaced.
    QVERIFY(!h.udp.files.isOpen(1) || h.udp.LogFileNum == 1);
}

void TestSettings::addDelSaveRestart()
{
    Harness h;
    h.udp.Form_Load();
    h.udp.ComboRemoteIP.setText("10.0.0.7");
    h.udp.Add_ip_Click();
    h.udp.Add_ip_Click();
    h.udp.ComboRemoteIP.setText("10.0.0.9");
    h.udp.Add_ip_Click();
    QCOMPARE(h.udp.ComboRemoteIP.items(), (QByteArrayList{kDefaultAddress, "10.0.0.7", "10.0.0.7", "10.0.0.9"}));
    h.udp.ComboRemoteIP.setListIndex(0);
    h.udp.Command2.SetFocus();
    h.udp.Del_ip_Click();
    QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    QCOMPARE(h.udp.ComboRemoteIP.items(), (QByteArrayList{"10.0.0.7", "10.0.0.7", "10.0.0.9"}));
    QCOMPARE(h.file(QStringLiteral("terminal.ini")), QByteArray()); // Add and Del do not save
    h.udp.Command2.SetFocus();
    h.udp.SaveIP_Click();
    QCOMPARE(h.udp.focus(), &h.udp.Command2);
    QCOMPARE(h.file(QStringLiteral("terminal.ini")), QByteArray("10.0.0.7\r\n10.0.0.7\r\n10.0.0.9\r\n"));

    Fakes again;
    UDP restarted(again.platform());
    restarted.Form_Load();
    QCOMPARE(restarted.ComboRemoteIP.items(), (QByteArrayList{"10.0.0.7", "10.0.0.7", "10.0.0.9"}));
    QCOMPARE(restarted.ComboRemoteIP.Text(), QByteArray("10.0.0.7"));
}

void TestSettings::delWithoutSelection()
{
    Harness h;
    h.udp.Form_Load();
    h.udp.ComboRemoteIP.setText("typed, not listed");
    h.udp.Del_ip_Click();
    QCOMPARE(h.udp.ComboRemoteIP.items(), QByteArrayList{kDefaultAddress});
    h.udp.ComboRemoteIP.setListIndex(0);
    h.udp.Del_ip_Click();
    h.udp.Del_ip_Click();
    QCOMPARE(h.udp.ComboRemoteIP.ListCount(), 0);
    h.udp.ComboRemoteIP.setText("");
    h.udp.Add_ip_Click();
    QCOMPARE(h.udp.ComboRemoteIP.ListCount(), 0);
}

void TestSettings::saveEmptyList()
{
    Harness h;
    h.writeFile(QStringLiteral("terminal.ini"), "10.0.0.7\r\n");
    h.udp.Form_Load();
    h.udp.ComboRemoteIP.setListIndex(0);
    h.udp.Del_ip_Click();
    h.udp.SaveIP_Click();
    QVERIFY(QFileInfo::exists(h.dir.filePath(QStringLiteral("terminal.ini"))));
    QCOMPARE(h.file(QStringLiteral("terminal.ini")), QByteArray());
    Harness again;
    again.writeFile(QStringLiteral("terminal.ini"), h.file(QStringLiteral("terminal.ini")));
    again.udp.Form_Load();
    QCOMPARE(again.udp.ComboRemoteIP.items(), QByteArrayList{kDefaultAddress});
}

void TestSettings::saveFails_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("title");
    QTest::newRow("read-only file") << false << QStringLiteral("Error#70");
    QTest::newRow("a folder in its place") << true << QStringLiteral("Error#75");
}

void TestSettings::saveFails()
{
    QFETCH(bool, folder);
    QFETCH(QString, title);
    Harness h;
    const QString ini = h.dir.filePath(QStringLiteral("terminal.ini"));
    if (folder) {
        QVERIFY(QDir(h.dir.path()).mkdir(QStringLiteral("terminal.ini")));
    } else {
        h.writeFile(QStringLiteral("terminal.ini"), "10.0.0.7\r\n");
        QVERIFY(QFile(ini).setPermissions(QFileDevice::ReadOwner));
        if (QFile(ini).open(QIODevice::WriteOnly))
            QSKIP("running with rights that ignore a read-only file (root)");
    }
    h.udp.Form_Load();
    h.udp.Command2.SetFocus();
    h.udp.SaveIP_Click();
    QCOMPARE(h.boxes.boxes.size(), 1);
    QCOMPARE(h.boxes.boxes[0].icon, MessageBox::Critical);
    QCOMPARE(h.boxes.boxes[0].title, title);
    QVERIFY(!h.boxes.boxes[0].text.isEmpty());
    QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    // Nothing stays open: a second Save fails the same way instead of finding its number taken.
    h.udp.SaveIP_Click();
    QCOMPARE(h.boxes.boxes.size(), 2);
    QCOMPARE(h.boxes.boxes[1].title, title);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
