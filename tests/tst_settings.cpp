// SPDX-License-Identifier: MIT
// Owns the address list: what a start reads from terminal.ini, Add, Del and Save, and a Save that fails.
#include "harness.h"
#include "mounts.h"

#include <QTest>

#include <optional>

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void load_data()
    {
        QTest::addColumn<QByteArray>("ini"); // null: no file at all; "FIFO": a FIFO in its place
        QTest::addColumn<QByteArray>("entries");
        const auto row = [](const char *name, const QByteArray &ini, const QByteArray &entries) {
            QTest::newRow(name) << ini << entries;
        };
        row("no file", {}, kDefaultAddress);
        row("empty file", "", kDefaultAddress);
        // Opening a FIFO would wait for a writer, for ever if none comes: a start that did would hang this test
        // until CTest's time limit ends it.
        row("a FIFO", "FIFO", kDefaultAddress);
        row("blank lines only", "\r\n\r\n  \r\n", kDefaultAddress);
        row("two lines", "10.0.0.7\r\n10.0.0.8\r\n", "10.0.0.7 10.0.0.8");
        row("comma on one line", "10.0.0.7,10.0.0.8\r\n", "10.0.0.7 10.0.0.8");
        row("leading blanks, empty entries, no last line end", "   10.0.0.7\r\n,,\r\n\t10.0.0.9", "10.0.0.7 10.0.0.9");
        row("quoted keeps commas", "\"a,b\"\r\n10.0.0.8\n", "a,b 10.0.0.8");
        row("only the first MiB is read", "10.0.0.7" + QByteArray(1024 * 1024, '\n') + "10.0.0.9\r\n", "10.0.0.7");
    }
    void load()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QByteArray, entries);
        Harness h;
        std::optional<TestFifo> fifo;
        if (ini == "FIFO")
            fifo.emplace(h.dir.filePath(QStringLiteral("terminal.ini")));
        else if (!ini.isNull())
            QVERIFY(h.writeFile(QStringLiteral("terminal.ini"), ini));
        if (fifo && !fifo->ok())
            QSKIP("cannot make a FIFO in the temporary folder");
        if (fifo && fifo->path() != h.dir.filePath(QStringLiteral("terminal.ini")))
            QSKIP(kNoFifoInFolders);
        h.udp.Form_Load();
        QCOMPARE(h.udp.ComboRemoteIP.items(), entries.split(' '));
        QCOMPARE(h.udp.ComboRemoteIP.Text(), entries.split(' ').first());
        QVERIFY(h.boxes.boxes.isEmpty());
    }

    void addDelSave()
    {
        Harness h;
        UDP &w = h.udp;
        ComboBox &list = w.ComboRemoteIP;
        w.Form_Load();
        for (const char *typed : {"10.0.0.7", "10.0.0.7", "10.0.0.9", ""}) {
            list.setText(typed);
            w.Add_ip.Click();
        }
        // Del removes the entry selected, whichever it is; with none selected it removes nothing and says why.
        const auto del = [&](int index) { return list.setListIndex(index), w.Del_ip.Click(), w.statusReason(); };
        const QString notInList = QStringLiteral("the address shown is not in the list: nothing to delete");
        list.setText("typed, not listed");
        QCOMPARE(del(-1), notInList);
        w.Command2.SetFocus();
        QCOMPARE(del(0), QString()); // the factory address, first in the list
        QCOMPARE(w.focus(), &w.tbSendData);
        QCOMPARE(del(3), notInList); // past the last entry nothing is selected
        QCOMPARE(list.items(), (QByteArrayList{"10.0.0.7", "10.0.0.7", "10.0.0.9"}));
        QVERIFY(!QFile::exists(h.dir.filePath(QStringLiteral("terminal.ini")))); // Add and Del do not save
        w.Command2.SetFocus();
        w.SaveIP.Click();
        QCOMPARE(w.focus(), &w.Command2);
        QCOMPARE(h.file(QStringLiteral("terminal.ini")), QByteArray("10.0.0.7\r\n10.0.0.7\r\n10.0.0.9\r\n"));
        // Emptied, the list has nothing to select: Del says so, and Save writes an empty file.
        while (list.ListCount())
            del(0);
        QCOMPARE(del(0), notInList);
        w.SaveIP.Click();
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
        // Mode bits stop nobody when the tests run as root: the file is seen through a read-only mount.
        std::optional<TestMount> readOnly;
        if (folder)
            QVERIFY(QDir().mkdir(ini));
        else if (!h.writeFile(QStringLiteral("terminal.ini"), "10.0.0.7\r\n") || !readOnly.emplace(ini, ini).ok())
            QSKIP(qPrintable(readOnly ? readOnly->error() : QStringLiteral("cannot write terminal.ini")));
        h.udp.Form_Load();
        // Twice: a failed Save leaves no file number taken.
        for (int box = 1; box <= 2; ++box) {
            h.udp.Command2.SetFocus();
            h.udp.SaveIP.Click();
            QCOMPARE(h.boxes.boxes.size(), box);
            QCOMPARE(h.boxes.boxes.last().icon, MessageBox::Critical);
            QCOMPARE(h.boxes.boxes.last().title, QStringLiteral("Error#75"));
            QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
