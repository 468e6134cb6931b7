// SPDX-License-Identifier: MIT
// The datagram dispatcher: which branch each datagram takes, what every datagram logs and lights, failure boxes.
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
    const QByteArray listed = "LOAD BASIC PROGRAM COMPLETED\r\n";
    // The first flag that is set takes the datagram; the program's and the flash disk's reply rules are their own.
    QTest::newRow("console, empty datagram") << Reply{"", {""}, "old", "F"};
    QTest::newRow("console") << Reply{"", {"OK\r\n", QByteArray("\0\xFF", 2)}, QByteArray("oldOK\r\n\0\xFF", 9), "F"};
    QTest::newRow("download") << Reply{"D", {"OK"}, "LOAD DATA = 20 B", "DF", {}, {"20 B\r\n"}};
    QTest::newRow("flash write before download") << Reply{"WD", {"hello"}, "old", "WDF"};
    QTest::newRow("listing") << Reply{
        "S", {"10 PRINT 1\r\n"}, "LOAD DATA = 10 PRINT 1\r\n\r\n", "SF", "10 PRINT 1\r\n"};
    QTest::newRow("listing before download") << Reply{"SD", {"OK"}, listed};
    QTest::newRow("listing before flash write") << Reply{"SW", {"10 OK"}, listed, "W"};
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
