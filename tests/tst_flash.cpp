// SPDX-License-Identifier: MIT
#include "harness.h"

#include <QTest>

using Bytes = QByteArrayList;

namespace
{
const QByteArray kOk = "OK\r\n";
const Bytes kClose{"CLOSE\r\n"};

/// Replies during a transfer that the buttons in `start` began: Send (3) of "ABC", Recieve (4) into copy.bin,
/// which held "stale" before.
struct Transfer {
    QByteArray start{};
    Bytes replies{};
    QByteArray file{}; // copy.bin afterwards
    Bytes sent{};      // in answer to the replies
    QByteArray progress{};
    int value = 0;
};

} // namespace
Q_DECLARE_METATYPE(Transfer)

class TestFlash : public QObject
{
    Q_OBJECT
private slots:
    void writeBlocks_data();
    void writeBlocks();
    void replies_data();
    void replies();
    void nothingStarts();
};

void TestFlash::writeBlocks_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("blocks");
    QTest::newRow("1 byte") << 1 << QList<int>{1};
    QTest::newRow("20 bytes") << 20 << QList<int>{20};
    QTest::newRow("21 bytes") << 21 << QList<int>{21};
    QTest::newRow("22 bytes") << 22 << QList<int>{21, 1};
    QTest::newRow("42 bytes") << 42 << QList<int>{21, 21};
    QTest::newRow("43 bytes") << 43 << QList<int>{21, 21, 1};
    QTest::newRow("1000 bytes") << 1000 << (QList<int>(47, 21) << 13);
}

void TestFlash::writeBlocks()
{
    QFETCH(int, size);
    QFETCH(QList<int>, blocks);
    Harness h;
    h.startLinked();
    QByteArray data;
    for (int i = 0; i < size; ++i)
        data += char(i * 37 + 11); // neighbours differ, and 256 bytes hold every value
    h.writeFile(QStringLiteral("local.bin"), data);
    h.dialog.answer = QStringLiteral("local.bin");
    h.udp.Command3_Click();
    QCOMPARE(h.dialog.filter, QStringLiteral("All files (*.*)|*.*"));
    QCOMPARE(h.udp.vbalProgressBar1.Max(), size);
    QByteArray log = "OPENWR \"SAMPLE.TXT\"\r\n";
    int next = 0;
    for (const int length : blocks) {
        const QByteArray command = "WRITE \"" + data.mid(next, length).toHex().toUpper() + '"';
        next += length;
        QCOMPARE(h.feed({kOk}), Bytes{command + "\r\n"});
        QCOMPARE(h.udp.tbSendData.Text(), command);
        QCOMPARE(h.udp.vbalProgressBar1.Value(), next + 1);
        log += kOk + command + "\r\n";
    }
    QCOMPARE(h.feed({kOk, kOk}), kClose); // the second OK is the console's
    QCOMPARE(h.udp.vbalProgressBar1.Text(), QByteArray("OK"));
    QCOMPARE(h.newLog(), log + kOk + kClose.first() + kOk);
}

void TestFlash::replies_data()
{
    QTest::addColumn<Transfer>("c");
    const QByteArray digits40 = "000102030405060708090A0B0C0D0E0F10111213", bytes20 = QByteArray::fromHex(digits40);
    const auto block = [](const char *hex) { return QByteArray::fromHex(hex).leftJustified(20, '\0'); };
    const Bytes write{"WRITE \"414243\"\r\n"};
    // Pairs decode as 1F 31, 7 alone 7, a5 5, ff 0, G1 1; characters next to the digit ranges count 0.
    QTest::newRow("40 digits, OK, 1F7") << Transfer{
        "4", {digits40 + "\r\n", kOk, "1F7"}, bytes20 + block("1F07"), {"READ 20\"\r\n"}, "READ", 2};
    QTest::newRow("line end inside") << Transfer{"4", {"1F\r\nFF"}, block("1F00FF"), {}, "READ", 1};
    QTest::newRow("lower case, non-hex") << Transfer{"4", {"a5ffG1/:@G"}, block("050001"), {}, "READ", 1};
    QTest::newRow("progress modulo 100") << Transfer{"4", Bytes(101, digits40), bytes20.repeated(101), {}, "READ", 1};
    QTest::newRow("ND at 1") << Transfer{"4", {"ND\r\n"}, "", kClose, "OK", 100};
    QTest::newRow("ND at 2") << Transfer{"4", {"1ND\r\n"}, "", kClose, "OK", 100};
    QTest::newRow("ND at 7") << Transfer{"4", {"ABCDEFND"}, "\xAB\xCD\xEF", kClose, "OK", 100};
    QTest::newRow("ND at 8") << Transfer{"4", {"ABCDEF1ND"}, "\xAB\xCD\xEF", kClose, "OK", 100};
    QTest::newRow("ND at 41") << Transfer{"4", {digits40 + "ND\r\n"}, bytes20, kClose, "OK", 100};
    QTest::newRow("ND with OK") << Transfer{"4", {"12OKND"}, QByteArray::fromHex("1200"), kClose, "OK", 100};
    QTest::newRow("ERROR over ND and OK") << Transfer{"4", {"12OKND ERROR"}, "", kClose, "ERROR", 0};
    QTest::newRow("ERROR keeps the bytes") << Transfer{"4", {"0102", "ERROR\r\n"}, block("0102"), kClose, "ERROR", 1};
    QTest::newRow("write: case, contains") << Transfer{"3", {"BUSY", "ok", "BOOKED"}, "stale", write, "SEND", 4};
    QTest::newRow("write: ERROR over OK") << Transfer{"3", {"OK ERROR"}, "stale", kClose, "ERROR", 0};
    QTest::newRow("write before read") << Transfer{"43", {kOk, kOk}, "", write + kClose, "OK", 4};
}

void TestFlash::replies()
{
    QFETCH(Transfer, c);
    Harness h;
    h.startLinked();
    h.writeFile(QStringLiteral("abc.txt"), "ABC");
    h.writeFile(QStringLiteral("copy.bin"), "stale");
    h.udp.Text2.setText("MY \"F\".TXT"); // blanks and quotes go out as typed
    Bytes opened;
    for (const char button : c.start) {
        h.dialog.answer = button == '3' ? QStringLiteral("abc.txt") : QStringLiteral("copy.bin");
        button == '3' ? h.udp.Command3_Click() : h.udp.Command4_Click();
        opened << (button == '3' ? "OPENWR" : "OPENRD") + QByteArray(" \"MY \"F\".TXT\"\r\n");
    }
    QByteArray log = opened.join();
    for (const QByteArray &reply : c.replies)
        log += reply + h.feed({reply}).join();
    QCOMPARE(h.winsock.written(), opened + c.sent);
    QCOMPARE(h.newLog(), log);
    QCOMPARE(h.udp.vbalProgressBar1.Text(), c.progress);
    QCOMPARE(h.udp.vbalProgressBar1.Value(), c.value);
    // The bar's text tells whether the transfer is still under way.
    const bool reading = c.progress == "READ";
    QCOMPARE((QList<int>{h.udp.FlashReading, h.udp.FlashWriting, h.udp.files.isOpen(h.udp.FlashFile)}),
             (QList<int>{reading, c.progress == "SEND", reading}));
    QCOMPARE(h.file(QStringLiteral("copy.bin")), c.file);
}

void TestFlash::nothingStarts()
{
    Harness h;
    h.startLinked();
    h.writeFile(QStringLiteral("empty.bin"), {});
    h.dialog.answer = QStringLiteral("local.bin");
    h.dialog.cancel = true;
    h.udp.Command3_Click();
    h.dialog.answer.clear();
    h.dialog.cancel = false;
    h.udp.Command4_Click();
    h.dialog.answer = QStringLiteral("empty.bin");
    h.udp.Command3_Click();
    QStringList boxes;
    for (const FakeMessageBox::Shown &shown : h.boxes.boxes)
        boxes << shown.title + QStringLiteral(": ") + shown.text;
    QCOMPARE(boxes, QStringList({"Vantrel: Cancel", "Vantrel: Cancel", "Error#9: The file is empty: empty.bin"}));
    QCOMPARE(h.boxes.boxes.last().icon, MessageBox::Critical);
    QCOMPARE(h.dialog.shown, QStringList({"open", "save", "open"}));
    QVERIFY(h.winsock.written().isEmpty());
    QCOMPARE(h.udp.vbalProgressBar1.Text(), QByteArray("NO FILE"));
    QVERIFY(!h.udp.FlashWriting && !h.udp.FlashReading && !h.udp.files.isOpen(h.udp.FlashFile));
    // End with no transfer under way still closes.
    h.udp.Command5_Click();
    QCOMPARE(h.winsock.written(), kClose);
    QCOMPARE(h.newLog(), kClose.first());
    // With the link down the three buttons only move the focus.
    h.udp.Command1_Click();
    for (const auto click : {&UDP::Command3_Click, &UDP::Command4_Click, &UDP::Command5_Click}) {
        h.udp.Command2.SetFocus();
        (h.udp.*click)();
        QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    }
    QCOMPARE(h.dialog.shown.size(), 3);
    QCOMPARE(h.boxes.boxes.size(), 3);
    QCOMPARE(h.winsock.written(), kClose);
    QCOMPARE(h.newLog(), kClose.first());
}

QTEST_GUILESS_MAIN(TestFlash)
#include "tst_flash.moc"
