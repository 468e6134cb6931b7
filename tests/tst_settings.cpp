// SPDX-License-Identifier: MIT
#include "harness.h"
#include "mounts.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void load_data()
    {
        QTest::addColumn<QByteArray>("ini"); // null: no file at all
        QTest::addColumn<QByteArrayList>("entries");
        const QByteArray def = kDefaultAddress;
        QTest::newRow("no file") << QByteArray() << QByteArrayList{def};
        QTest::newRow("empty file") << QByteArray("") << QByteArrayList{def};
        QTest::newRow("blank lines only") << QByteArray("\r\n\r\n  \r\n") << QByteArrayList{def};
        QTest::newRow("two lines") << QByteArray("10.0.0.7\r\n10.0.0.8\r\n") << QByteArrayList{"10.0.0.7", "10.0.0.8"};
        QTest::newRow("comma on one line")
            << QByteArray("10.0.0.7,10.0.0.8\r\n") << QByteArrayList{"10.0.0.7", "10.0.0.8"};
        QTest::newRow("leading blanks, empty entries, no last line end")
            << QByteArray("   10.0.0.7\r\n,,\r\n\t10.0.0.9") << QByteArrayList{"10.0.0.7", "10.0.0.9"};
        QTest::newRow("quoted keeps commas")
            << QByteArray("\"a,b\"\r\n10.0.0.8\n") << QByteArrayList{"a,b", "10.0.0.8"};
        QByteArray huge = "10.0.0.7\r\n";
        while (huge.size() < 1024 * 1024)
            huge += "\r\n";
        QTest::newRow("only the first MiB is read") << huge + "10.0.0.9\r\n" << QByteArrayList{"10.0.0.7"};
    }
    void load()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QByteArrayList, entries);
        Harness h;
        if (!ini.isNull())
            h.writeFile(QStringLiteral("terminal.ini"), ini);
        h.udp.Form_Load();
        QCOMPARE(h.udp.ComboRemoteIP.items(), entries);
        QCOMPARE(h.udp.ComboRemoteIP.ListIndex(), 0);
        QCOMPARE(h.udp.ComboRemoteIP.Text(), entries.first());
        QVERIFY(h.boxes.boxes.isEmpty());
    }

    void loadSkipsAFifo()
    {
        Harness h;
        const QByteArray path = QFile::encodeName(h.dir.filePath(QStringLiteral("terminal.ini")));
        if (::mkfifo(path.constData(), 0600) != 0)
            QSKIP("cannot make a FIFO in the temporary folder");
        // Opening a FIFO for reading waits for a writer, for ever if none comes. This one comes, so that such a
        // start ends; it can open its end only while the start has the FIFO open.
        std::atomic<bool> started{false}, opened{false};
        std::thread writer([&] {
            while (!started && !opened) {
                if (const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK); fd >= 0) {
                    opened = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        h.udp.Form_Load();
        started = true;
        writer.join();
        QVERIFY(!opened);
        QCOMPARE(h.udp.ComboRemoteIP.items(), QByteArrayList{kDefaultAddress});
        QVERIFY(h.boxes.boxes.isEmpty());
    }

    void addDelSaveRestart()
    {
        Harness h;
        h.udp.Form_Load();
        ComboBox &list = h.udp.ComboRemoteIP;
        for (const char *typed : {"10.0.0.7", "10.0.0.7", "10.0.0.9", ""}) {
            list.setText(typed);
            h.udp.Add_ip_Click();
        }
        list.setText("typed, not listed");
        h.udp.Del_ip_Click(); // nothing selected: nothing removed
        list.setListIndex(0);
        h.udp.Command2.SetFocus();
        h.udp.Del_ip_Click();
        QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
        const QByteArrayList kept{"10.0.0.7", "10.0.0.7", "10.0.0.9"};
        QCOMPARE(list.items(), kept);
        QVERIFY(!QFile::exists(h.dir.filePath(QStringLiteral("terminal.ini")))); // Add and Del do not save
        h.udp.Command2.SetFocus();
        h.udp.SaveIP_Click();
        QCOMPARE(h.udp.focus(), &h.udp.Command2);
        // What the next start reads back: the load rows.
        QCOMPARE(h.file(QStringLiteral("terminal.ini")), QByteArray("10.0.0.7\r\n10.0.0.7\r\n10.0.0.9\r\n"));
        // An empty list saves an empty file.
        while (list.ListCount()) {
            list.setListIndex(0);
            h.udp.Del_ip_Click();
        }
        h.udp.SaveIP_Click();
        QCOMPARE(h.file(QStringLiteral("terminal.ini")), QByteArray(""));
    }

    void saveFails_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("read-only file") << false;
        QTest::newRow("a folder in its place") << true;
    }
    void saveFails()
    {
        QFETCH(bool, folder);
        Harness h;
        const QString ini = h.dir.filePath(QStringLiteral("terminal.ini"));
        std::unique_ptr<TestMount> readOnly;
        if (folder) {
            QVERIFY(QDir(h.dir.path()).mkdir(QStringLiteral("terminal.ini")));
        } else {
            h.writeFile(QStringLiteral("terminal.ini"), "10.0.0.7\r\n");
            // Mode bits stop nobody when the tests run as root: the file is seen through a read-only mount.
            readOnly = std::make_unique<TestMount>(ini, ini);
            if (!readOnly->ok())
                QSKIP(qPrintable(readOnly->error()));
        }
        h.udp.Form_Load();
        // Twice: a failed Save leaves no file number taken.
        for (int box = 0; box < 2; ++box) {
            h.udp.Command2.SetFocus();
            h.udp.SaveIP_Click();
            QCOMPARE(h.boxes.boxes.size(), box + 1);
            QCOMPARE(h.boxes.boxes[box].icon, MessageBox::Critical);
            QCOMPARE(h.boxes.boxes[box].title, QStringLiteral("Error#75"));
            QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
