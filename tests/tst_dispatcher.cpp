// SPDX-License-Identifier: MIT
#include "harness.h"

#include <QTest>

class TestDispatcher : public QObject
{
    Q_OBJECT
private slots:
    void console_data();
    void console();
    void listing_data();
    void listing();
    void download_data();
    void download();
    void failure_data();
    void failure();
    void failureBoxesDoNotPileUp();
    void noLog();
};

namespace
{
/// The link up, the indicator dark, and the log as it stands before the first datagram.
struct Dispatch {
    Dispatch(const QByteArray &pane)
    {
        h.udp.Form_Load();
        h.connect();
        h.udp.YesConnect.setVisible(false);
        h.udp.NoConnect.setVisible(true);
        h.udp.tbReceiveData.setText(pane);
        logBefore = h.file("Terminal.log");
    }
    void feed(const QByteArrayList &datagrams)
    {
        for (const QByteArray &d : datagrams)
            h.winsock.feedReceived(d);
    }
    /// A .bas file open under ProgFileNum, as "Save Programm" leaves it.
    void openProgFile()
    {
        h.udp.ProgFileNum = h.udp.files.FreeFile();
        h.udp.files.openOutput(h.udp.ProgFileNum, QStringLiteral("list.bas"));
    }
    /// Every datagram went raw to the log and lit the indicator.
    void checkLoggedAndLit(const QByteArrayList &datagrams)
    {
        QCOMPARE(h.file("Terminal.log"), logBefore + datagrams.join());
        QVERIFY(h.udp.YesConnect.Visible());
        QVERIFY(!h.udp.NoConnect.Visible());
    }
    Harness h;
    QByteArray logBefore;
};
} // namespace

void TestDispatcher::console_data()
{
    QTest::addColumn<QByteArray>("flags"); // W: flash write, D: download under way
    QTest::addColumn<QByteArrayList>("datagrams");
    QTest::addColumn<QByteArray>("pane");
    QTest::newRow("appended as received") << QByteArray() << QByteArrayList{"OK\r\n", "x"} << QByteArray("oldOK\r\nx");
    QTest::newRow("empty datagram") << QByteArray() << QByteArrayList{""} << QByteArray("old");
    QTest::newRow("8-bit bytes") << QByteArray() << QByteArrayList{QByteArray("\0\xFF\r", 3)}
                                 << QByteArray("old\0\xFF\r", 6);
    // A transfer's replies reach the log only; a flash write is served before a download.
    QTest::newRow("flash write") << QByteArray("W") << QByteArrayList{"hello"} << QByteArray("old");
    QTest::newRow("flash write before download") << QByteArray("WD") << QByteArrayList{"hello"} << QByteArray("old");
}

void TestDispatcher::console()
{
    QFETCH(QByteArray, flags);
    QFETCH(QByteArrayList, datagrams);
    QFETCH(QByteArray, pane);
    Dispatch d("old");
    d.h.udp.FlashWriting = flags.contains('W');
    d.h.udp.ProgDownloadMode = flags.contains('D');
    d.feed(datagrams);
    QCOMPARE(d.h.udp.tbReceiveData.Text(), pane);
    if (flags.isEmpty())
        QCOMPARE(d.h.udp.tbReceiveData.SelStart(), qint32(pane.size()));
    QCOMPARE(d.h.udp.RxText, datagrams.last());
    d.checkLoggedAndLit(datagrams);
    QVERIFY(d.h.winsock.written().isEmpty());
}

void TestDispatcher::listing_data()
{
    QTest::addColumn<qint16>("downloading");
    QTest::addColumn<qint16>("flashWriting");
    QTest::addColumn<QByteArrayList>("datagrams");
    QTest::addColumn<QByteArray>("pane");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("capturing"); // still capturing: the file open and ProgSaveMode 1

    const QByteArray done = "LOAD BASIC PROGRAM COMPLETED\r\n";
    QTest::newRow("lines, then OK") << qint16(0) << qint16(0)
                                    << QByteArrayList{"10 PRINT 1\r\n", "20 END\r\n", "OK\r\n"} << done
                                    << QByteArray("10 PRINT 1\r\n20 END\r\n") << false;
    QTest::newRow("one line") << qint16(0) << qint16(0) << QByteArrayList{"10 PRINT 1\r\n"}
                              << QByteArray("LOAD DATA = 10 PRINT 1\r\n\r\n") << QByteArray("10 PRINT 1\r\n") << true;
    QTest::newRow("Login") << qint16(0) << qint16(0) << QByteArrayList{"10 A", "Login:"}
                           << QByteArray("LOAD DATA = 10 A\r\nACCESS DENIED\r\n") << QByteArray("10 A") << false;
    QTest::newRow("Password") << qint16(0) << qint16(0) << QByteArrayList{"Password: OK"}
                              << QByteArray("oldACCESS DENIED\r\n") << QByteArray() << false;
    QTest::newRow("OK in the first five characters")
        << qint16(0) << qint16(0) << QByteArrayList{"1 OK=5"} << done << QByteArray() << false;
    QTest::newRow("OK ending at the fifth character")
        << qint16(0) << qint16(0) << QByteArrayList{"123OK"} << done << QByteArray() << false;
    QTest::newRow("OK from the sixth character")
        << qint16(0) << qint16(0) << QByteArrayList{"1234OK"} << QByteArray("LOAD DATA = 1234OK\r\n")
        << QByteArray("1234OK") << true;
    QTest::newRow("ERROR is a line like any other")
        << qint16(0) << qint16(0) << QByteArrayList{"ERROR 5"} << QByteArray("LOAD DATA = ERROR 5\r\n")
        << QByteArray("ERROR 5") << true;
    QTest::newRow("lower case matches nothing")
        << qint16(0) << qint16(0) << QByteArrayList{"ok login passwor"}
        << QByteArray("LOAD DATA = ok login passwor\r\n") << QByteArray("ok login passwor") << true;
    QTest::newRow("before the download: a line") << qint16(1) << qint16(0) << QByteArrayList{"10 A"}
                                                 << QByteArray("LOAD DATA = 10 A\r\n") << QByteArray("10 A") << true;
    QTest::newRow("before the download: its end ends both")
        << qint16(1) << qint16(0) << QByteArrayList{"OK"} << done << QByteArray() << false;
    QTest::newRow("before the flash write")
        << qint16(0) << qint16(1) << QByteArrayList{"10 OK"} << done << QByteArray() << false;
}

void TestDispatcher::listing()
{
    QFETCH(qint16, downloading);
    QFETCH(qint16, flashWriting);
    QFETCH(QByteArrayList, datagrams);
    QFETCH(QByteArray, pane);
    QFETCH(QByteArray, file);
    QFETCH(bool, capturing);
    Dispatch d("old");
    d.openProgFile();
    d.h.udp.ProgSaveMode = 1;
    d.h.udp.ProgDownloadMode = downloading;
    d.h.udp.FlashWriting = flashWriting;
    d.feed(datagrams);
    QCOMPARE(d.h.udp.tbReceiveData.Text(), pane);
    QCOMPARE(d.h.file("list.bas"), file);
    QCOMPARE(d.h.udp.files.isOpen(d.h.udp.ProgFileNum), capturing);
    QCOMPARE(d.h.udp.ProgSaveMode, qint16(capturing));
    QCOMPARE(d.h.udp.ProgDownloadMode, capturing ? downloading : qint16(0));
    QCOMPARE(d.h.udp.FlashWriting, flashWriting);
    d.checkLoggedAndLit(datagrams);
    QVERIFY(d.h.winsock.written().isEmpty());
}

void TestDispatcher::download_data()
{
    QTest::addColumn<QByteArrayList>("datagrams");
    QTest::addColumn<QByteArray>("pane");
    QTest::addColumn<QByteArrayList>("sent");
    QTest::addColumn<qint16>("lineIdx");
    QTest::addColumn<qint16>("downloading");
    QTest::addColumn<bool>("fileOpen");

    const QByteArray shown = "LOAD DATA = 10 A";
    const QByteArray denied = shown + "ACCESS DENIED\r\n";
    const QByteArray done = "SEND BASIC PROGRAM COMPLETED\r\n";
    const QByteArrayList both{"20 B\r\n", "30 C\r\n"};
    QTest::newRow("OK sends the next line") << QByteArrayList{"OK"} << QByteArray("LOAD DATA = 20 B")
                                            << QByteArrayList{"20 B\r\n"} << qint16(2) << qint16(1) << true;
    QTest::newRow("OK inside a word") << QByteArrayList{"BOOKED"} << QByteArray("LOAD DATA = 20 B")
                                      << QByteArrayList{"20 B\r\n"} << qint16(2) << qint16(1) << true;
    QTest::newRow("the last line completes")
        << QByteArrayList{"OK", "OK"} << done << both << qint16(0) << qint16(0) << true;
    QTest::newRow("the reply to the last line is console text")
        << QByteArrayList{"OK", "OK", "ERROR 1"} << done + "ERROR 1" << both << qint16(0) << qint16(0) << true;
    QTest::newRow("ERROR") << QByteArrayList{"ERROR 3"} << shown + "Error - see  source file \r\n"
                           << QByteArrayList{} << qint16(1) << qint16(0) << false;
    QTest::newRow("ERROR before OK") << QByteArrayList{"OK ERROR"} << shown + "Error - see  source file \r\n"
                                     << QByteArrayList{} << qint16(1) << qint16(0) << false;
    QTest::newRow("Login, then OK is console text")
        << QByteArrayList{"Login: OK", "OK"} << denied + "OK" << QByteArrayList{} << qint16(1) << qint16(0) << false;
    QTest::newRow("Password") << QByteArrayList{"Password:"} << denied + "Password:\r\n"
                              << QByteArrayList{} << qint16(1) << qint16(0) << false;
    QTest::newRow("Password with OK still sends") << QByteArrayList{"Password OK"} << QByteArray("LOAD DATA = 20 B")
                                                  << QByteArrayList{"20 B\r\n"} << qint16(2) << qint16(0) << false;
    QTest::newRow("other replies wait") << QByteArrayList{"ok\r\n", "error login"}
                                        << shown + "ok\r\n\r\nerror login\r\n"
                                        << QByteArrayList{} << qint16(1) << qint16(1) << true;
}

void TestDispatcher::download()
{
    QFETCH(QByteArrayList, datagrams);
    QFETCH(QByteArray, pane);
    QFETCH(QByteArrayList, sent);
    QFETCH(qint16, lineIdx);
    QFETCH(qint16, downloading);
    QFETCH(bool, fileOpen);
    Dispatch d("LOAD DATA = 10 A");
    d.openProgFile();
    d.h.udp.ProgLine[1] = "10 A";
    d.h.udp.ProgLine[2] = "20 B";
    d.h.udp.ProgLine[3] = "30 C";
    d.h.udp.ProgLine[4] = "40 left from a longer program";
    d.h.udp.ProgLineCount = 3;
    d.h.udp.ProgLineIdx = 1;
    d.h.udp.ProgDownloadMode = 1;
    d.feed(datagrams);
    QCOMPARE(d.h.udp.tbReceiveData.Text(), pane);
    QCOMPARE(d.h.winsock.written(), sent);
    QCOMPARE(d.h.udp.ProgLineIdx, lineIdx);
    QCOMPARE(d.h.udp.ProgDownloadMode, downloading);
    QCOMPARE(d.h.udp.ProgSaveMode, qint16(0));
    QCOMPARE(d.h.udp.files.isOpen(d.h.udp.ProgFileNum), fileOpen);
    d.checkLoggedAndLit(datagrams);
}

void TestDispatcher::failure_data()
{
    QTest::addColumn<qint16>("saving");
    QTest::addColumn<qint16>("lineIdx");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("title");
    QTest::newRow("listing line, no file open")
        << qint16(1) << qint16(0) << QByteArray("10 A") << QStringLiteral("Error#52");
    QTest::newRow("cursor beyond the table")
        << qint16(0) << qint16(2048) << QByteArray("OK") << QStringLiteral("Error#9");
    QTest::newRow("cursor below the table") << qint16(0) << qint16(-2) << QByteArray("OK") << QStringLiteral("Error#9");
}

void TestDispatcher::failure()
{
    QFETCH(qint16, saving);
    QFETCH(qint16, lineIdx);
    QFETCH(QByteArray, datagram);
    QFETCH(QString, title);
    Dispatch d("old");
    d.h.udp.ProgSaveMode = saving;
    d.h.udp.ProgDownloadMode = 1;
    d.h.udp.ProgLineIdx = lineIdx;
    d.h.udp.ProgLineCount = 3000;
    d.feed({datagram});
    QCOMPARE(d.h.boxes.boxes.size(), 1);
    QCOMPARE(d.h.boxes.boxes[0].title, title);
    QCOMPARE(d.h.boxes.boxes[0].icon, MessageBox::Critical);
    QVERIFY(!d.h.boxes.boxes[0].text.isEmpty());
    QCOMPARE(d.h.udp.tbReceiveData.Text(), QByteArray("old"));
    QVERIFY(d.h.winsock.written().isEmpty());
    QCOMPARE(d.h.udp.ProgSaveMode, saving);
    QCOMPARE(d.h.udp.ProgDownloadMode, qint16(1));
    d.checkLoggedAndLit({datagram});
}

void TestDispatcher::failureBoxesDoNotPileUp()
{
    Dispatch d("old");
    d.h.udp.ProgSaveMode = 1; // no file open: every listing line fails with 52
    int opened = 0;
    d.h.boxes.whileOpen = [&] {
        if (opened++ > 0)
            return;
        d.feed({"20 B"}); // the same failure again: counted, not shown
        d.h.udp.ProgSaveMode = 0;
        d.h.udp.ProgDownloadMode = 1;
        d.h.udp.ProgLineIdx = 2048;
        d.feed({"OK"}); // another failure: shown on top
        d.h.udp.ProgSaveMode = 1;
        d.feed({"21 B"}); // the first box is still open under it
    };
    d.feed({"10 A"});
    QCOMPARE(d.h.boxes.boxes.size(), 2);
    QCOMPARE(d.h.boxes.boxes[0].title, QStringLiteral("Error#52"));
    QCOMPARE(d.h.boxes.boxes[1].title, QStringLiteral("Error#9"));
    QCOMPARE(d.h.udp.suppressedFailures(), quint64(2));
    d.checkLoggedAndLit({"10 A", "20 B", "OK", "21 B"});

    d.feed({"30 C"}); // the box has been closed: the failure is shown again
    QCOMPARE(d.h.boxes.boxes.size(), 3);
    QCOMPARE(d.h.boxes.boxes[2].title, QStringLiteral("Error#52"));
    QCOMPARE(d.h.udp.suppressedFailures(), quint64(2));
}

void TestDispatcher::noLog()
{
    Harness h;
    QVERIFY(QDir(h.dir.path()).mkdir(QStringLiteral("Terminal.log")));
    h.udp.Form_Load();
    QVERIFY(!h.udp.logOpen());
    h.winsock.feedReceived("VER 3.1\r\n");
    QCOMPARE(h.udp.tbReceiveData.Text(), QByteArray("VER 3.1\r\n"));
    QVERIFY(h.udp.YesConnect.Visible());
    QCOMPARE(h.boxes.boxes.size(), 1); // the one of the start-up
}

QTEST_GUILESS_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
