// SPDX-License-Identifier: MIT
#include "harness.h"

#include <QTest>

namespace
{
/// Datagrams fed with the pane holding "old", the .bas file open, and a download of "10 A", "20 B", "30 C"
/// whose first line has gone out.
struct Reply {
    QByteArray flags{}; // set before: S ProgSaveMode, W FlashWriting, D ProgDownloadMode
    QByteArrayList datagrams{};
    QByteArray pane{};
    QByteArray after{}; // the flags afterwards, and F while the .bas file is open
    QByteArray file{};  // what the .bas file holds
    QByteArrayList sent{};
};
} // namespace
Q_DECLARE_METATYPE(Reply)

class TestDispatcher : public QObject
{
    Q_OBJECT
private slots:
    void branches_data();
    void branches();
    void failureBoxesDoNotPileUp();
    void paneKeepsTheLatest_data();
    void paneKeepsTheLatest();
};

void TestDispatcher::branches_data()
{
    QTest::addColumn<Reply>("c");
    const QByteArray listed = "LOAD BASIC PROGRAM COMPLETED\r\n", denied = "oldACCESS DENIED\r\n";
    const QByteArrayList line2{"20 B\r\n"};
    QTest::newRow("console, empty datagram") << Reply{"", {""}, "old", "F"};
    QTest::newRow("console") << Reply{"", {"OK\r\n", QByteArray("\0\xFF", 2)}, QByteArray("oldOK\r\n\0\xFF", 9), "F"};
    QTest::newRow("flash write before download") << Reply{"WD", {"hello"}, "old", "WDF"};
    // A listing ends on a login prompt or on OK within its first five characters; all else is a line of it.
    QTest::newRow("listing: lines, then OK")
        << Reply{"S", {"10 PRINT 1\r\n", "20 END\r\n", "OK\r\n"}, listed, "", "10 PRINT 1\r\n20 END\r\n"};
    QTest::newRow("listing: Login") << Reply{
        "S", {"10 A", "Login:"}, "LOAD DATA = 10 A\r\nACCESS DENIED\r\n", "", "10 A"};
    QTest::newRow("listing: Password before OK") << Reply{"S", {"Password: OK"}, denied};
    QTest::newRow("listing: OK at 4") << Reply{"S", {"123OK"}, listed};
    QTest::newRow("listing: OK at 5 is a line") << Reply{"S", {"1234OK"}, "LOAD DATA = 1234OK\r\n", "SF", "1234OK"};
    QTest::newRow("listing: ERROR, lower case") << Reply{
        "S", {"ERROR ok login passwor"}, "LOAD DATA = ERROR ok login passwor\r\n", "SF", "ERROR ok login passwor"};
    QTest::newRow("listing before download") << Reply{"SD", {"OK"}, listed};
    QTest::newRow("listing before flash write") << Reply{"SW", {"10 OK"}, listed, "W"};
    // A download goes on with OK, stops on ERROR or a login prompt, and waits on anything else.
    QTest::newRow("download: OK inside a word") << Reply{"D", {"BOOKED"}, "LOAD DATA = 20 B", "DF", {}, line2};
    QTest::newRow("download: the last line, then its reply") << Reply{
        "D", {"OK", "OK", "ERROR 1"}, "SEND BASIC PROGRAM COMPLETED\r\nERROR 1", "F", {}, {"20 B\r\n", "30 C\r\n"}};
    QTest::newRow("download: ERROR before OK") << Reply{"D", {"OK ERROR"}, "oldError - see  source file \r\n"};
    QTest::newRow("download: Login, then the console") << Reply{"D", {"Login: OK", "OK"}, denied + "OK"};
    QTest::newRow("download: Password") << Reply{"D", {"Password:"}, denied + "Password:\r\n"};
    QTest::newRow("download: Password with OK") << Reply{"D", {"Password OK"}, "LOAD DATA = 20 B", "", {}, line2};
    QTest::newRow("download: other replies, lower case")
        << Reply{"D", {"ok\r\n", "error login"}, "oldok\r\n\r\nerror login\r\n", "DF"};
}

void TestDispatcher::branches()
{
    QFETCH(Reply, c);
    Harness h;
    h.startLinked();
    UDP &w = h.udp;
    w.YesConnect.setVisible(false);
    w.NoConnect.setVisible(true);
    w.tbReceiveData.setText("old");
    h.midDownload();
    w.ProgSaveMode = c.flags.contains('S');
    w.FlashWriting = c.flags.contains('W');
    w.ProgDownloadMode = c.flags.contains('D');
    QCOMPARE(h.feed(c.datagrams), c.sent);
    QCOMPARE(w.tbReceiveData.Text(), c.pane);
    if (c.flags.isEmpty())
        QCOMPARE(w.tbReceiveData.SelStart(), qint32(c.pane.size()));
    QCOMPARE(QByteArray(w.ProgSaveMode ? "S" : "") + (w.FlashWriting ? "W" : "") + (w.ProgDownloadMode ? "D" : "") +
                 (w.files.isOpen(w.ProgFileNum) ? "F" : ""),
             c.after);
    QCOMPARE(h.file(QStringLiteral("list.bas")), c.file);
    QCOMPARE(h.newLog(), c.datagrams.join());
    QVERIFY(w.YesConnect.Visible() && !w.NoConnect.Visible());
}

void TestDispatcher::failureBoxesDoNotPileUp()
{
    Harness h;
    h.startLinked();
    h.udp.YesConnect.setVisible(false);
    // With no .bas file open a listing line fails with 52, which ends the listing: each feed starts one.
    h.udp.ProgSaveMode = 1;
    h.boxes.whileOpen = [&] {
        if (h.boxes.boxes.size() > 1)
            return;
        h.udp.ProgSaveMode = 1;
        h.feed({"20 B"}); // the same failure again: counted, not shown
        h.udp.ProgSaveMode = 0;
        h.udp.ProgDownloadMode = 1;
        h.udp.ProgLineIdx = 2048;
        h.feed({"OK"}); // another failure, a download line beyond the table: shown on top
        h.udp.ProgSaveMode = 1;
        h.feed({"21 B"}); // the first box is still open under it
    };
    h.feed({"10 A"});
    h.udp.ProgSaveMode = 1;
    h.feed({"30 C"}); // the box has been closed: the failure is shown again
    QStringList titles;
    for (const FakeMessageBox::Shown &box : h.boxes.boxes) {
        titles << box.title;
        QCOMPARE(box.icon, MessageBox::Critical);
    }
    QCOMPARE(titles, QStringList({"Error#52", "Error#9", "Error#52"}));
    QCOMPARE(h.udp.suppressedFailures(), quint64(2));
    QCOMPARE(h.newLog(), QByteArray("10 A20 BOK21 B30 C"));
    QVERIFY(h.udp.YesConnect.Visible());
    QVERIFY(h.winsock.written().isEmpty());
    QCOMPARE(h.udp.ProgDownloadMode, qint16(1)); // a failure leaves the flags as they are
}

void TestDispatcher::paneKeepsTheLatest_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("CR LF lines") << QByteArray(62, 'x') + "\r\n";
    QTest::newRow("CR lines") << QByteArray(40, 'y') + "\r";
    QTest::newRow("LF lines, CR LF split between datagrams") << QByteArray(49, 'z') + "\n\r\n\r";
    QTest::newRow("one endless line") << QByteArray(64, 'w');
}

void TestDispatcher::paneKeepsTheLatest()
{
    QFETCH(QByteArray, line);
    Harness h;
    h.startLinked();
    QByteArray all;
    for (int n = 0; all.size() < 2 * kReceivePaneLimit; ++n) {
        // Datagrams of lines, each marked with its number, so that the kept text can be placed.
        QByteArray datagram = QByteArray::number(n);
        while (datagram.size() < 60000)
            datagram += line;
        h.winsock.feedReceived(datagram);
        all += datagram;
    }
    const QByteArray &pane = h.udp.tbReceiveData.Text();
    QVERIFY(pane.size() <= kReceivePaneLimit);
    QVERIFY(pane.size() >= kReceivePaneLimit / 2);
    QVERIFY(all.endsWith(pane));
    QCOMPARE(h.udp.tbReceiveData.SelStart(), qint32(pane.size()));
    // The oldest text goes up to a line start, where there is one: past a LF, or past a CR that no LF follows.
    const qsizetype cut = all.size() - pane.size();
    const bool lineStart = all[cut - 1] == '\n' || (all[cut - 1] == '\r' && all[cut] != '\n');
    QCOMPARE(lineStart, line.contains('\r') || line.contains('\n'));
    QCOMPARE(h.newLog(), all); // the log keeps everything
}

QTEST_GUILESS_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
