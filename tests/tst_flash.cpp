// SPDX-License-Identifier: MIT
#include "harness.h"

#include <QTest>

using Bytes = QByteArrayList;

namespace
{
const QByteArray kOk = "OK\r\n";
const Bytes kClose{"CLOSE\r\n"};
const QByteArray kRead = "READ 20\"\r\n";

/// Replies during a transfer that the buttons in `start` began: W Send of "ABC", R Recieve into copy.bin,
/// which held "stale" before.
struct Transfer {
    QByteArray start{};
    Bytes replies{};
    QByteArray file{}; // copy.bin afterwards
    Bytes sent{};      // in answer to the replies
    QByteArray progress{};
    int value = 0;
};

/// Send, Recieve or End with no transfer resulting.
struct NoTransfer {
    char button = '3';
    bool linked = true;
    QString answer{};
    bool cancel = false;
    QStringList dialogs{};
    QString box{};
    Bytes sent{};
};
} // namespace
Q_DECLARE_METATYPE(Transfer)
Q_DECLARE_METATYPE(NoTransfer)

class TestFlash : public QObject
{
    Q_OBJECT
private slots:
    void decode2_data();
    void decode2();
    void writeBlocks_data();
    void writeBlocks();
    void replies_data();
    void replies();
    void noTransfer_data();
    void noTransfer();
};

void TestFlash::decode2_data()
{
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<int>("value");
    QTest::newRow("1F") << QByteArray("1F") << 31;
    QTest::newRow("7 alone") << QByteArray("7") << 7;
    QTest::newRow("G1") << QByteArray("G1") << 1;
    QTest::newRow("ff") << QByteArray("ff") << 0;
    QTest::newRow("a5") << QByteArray("a5") << 5;
    QTest::newRow("next to the digits") << QByteArray("/:") << 0;
    QTest::newRow("next to the letters") << QByteArray("@G") << 0;
    QTest::newRow("three digits") << QByteArray("123") << 0;
}

void TestFlash::decode2()
{
    QFETCH(QByteArray, digits);
    QFETCH(int, value);
    QCOMPARE(int(UDP::Decode2(digits)), value);
}

void TestFlash::writeBlocks_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("lastBlock");
    QTest::newRow("1 byte") << 1 << 1 << 1;
    QTest::newRow("20 bytes") << 20 << 1 << 20;
    QTest::newRow("21 bytes") << 21 << 1 << 21;
    QTest::newRow("22 bytes") << 22 << 2 << 1;
    QTest::newRow("42 bytes") << 42 << 2 << 21;
    QTest::newRow("43 bytes") << 43 << 3 << 1;
    QTest::newRow("1000 bytes") << 1000 << 48 << 13;
}

void TestFlash::writeBlocks()
{
    QFETCH(int, size);
    QFETCH(int, blocks);
    QFETCH(int, lastBlock);
    Harness h;
    h.startLinked();
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 37 + 11); // neighbours differ, and 256 bytes hold every value
    h.writeFile(QStringLiteral("local.bin"), data);
    h.dialog.answer = QStringLiteral("local.bin");
    h.udp.Command3_Click();
    QCOMPARE(h.dialog.filter, QStringLiteral("All files (*.*)|*.*"));
    QCOMPARE(h.udp.vbalProgressBar1.Max(), size);
    QByteArray log = "OPENWR \"SAMPLE.TXT\"\r\n";
    QCOMPARE(h.winsock.written(), Bytes{log});
    for (int b = 0; b < blocks; ++b) {
        const QByteArray block = data.mid(21 * b, 21);
        QCOMPARE(block.size(), b + 1 < blocks ? 21 : lastBlock);
        const QByteArray command = "WRITE \"" + block.toHex().toUpper() + '"';
        QCOMPARE(h.feed({kOk}), Bytes{command + "\r\n"});
        QCOMPARE(h.udp.tbSendData.Text(), command);
        QCOMPARE(h.udp.vbalProgressBar1.Value(), 21 * b + int(block.size()) + 1);
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
    QTest::newRow("40 digits, OK, short reply")
        << Transfer{"R", {digits40 + "\r\n", kOk, "1F7"}, bytes20 + block("1F07"), {kRead}, "READ", 2};
    QTest::newRow("line end inside") << Transfer{"R", {"1F\r\nFF"}, block("1F00FF"), {}, "READ", 1};
    QTest::newRow("lower case, non-hex") << Transfer{"R", {"a5ffG1"}, block("050001"), {}, "READ", 1};
    QTest::newRow("progress modulo 100") << Transfer{"R", Bytes(101, digits40), bytes20.repeated(101), {}, "READ", 1};
    QTest::newRow("ND at 1") << Transfer{"R", {"ND\r\n"}, "", kClose, "OK", 100};
    QTest::newRow("ND at 2") << Transfer{"R", {"1ND\r\n"}, "", kClose, "OK", 100};
    QTest::newRow("ND at 7") << Transfer{"R", {"ABCDEFND"}, "\xAB\xCD\xEF", kClose, "OK", 100};
    QTest::newRow("ND at 8") << Transfer{"R", {"ABCDEF1ND"}, "\xAB\xCD\xEF", kClose, "OK", 100};
    QTest::newRow("ND at 41") << Transfer{"R", {digits40 + "ND\r\n"}, bytes20, kClose, "OK", 100};
    QTest::newRow("data, OK, ND") << Transfer{"R", {"FF", kOk, "01ND"}, block("FF") + '\x01', {kRead, kClose[0]}, "OK",
                                              100};
    QTest::newRow("ND with OK") << Transfer{"R", {"12OKND"}, QByteArray::fromHex("1200"), kClose, "OK", 100};
    QTest::newRow("ERROR over ND") << Transfer{"R", {"12ND ERROR"}, "", kClose, "ERROR", 0};
    QTest::newRow("ERROR over OK") << Transfer{"R", {"OK ERROR"}, "", kClose, "ERROR", 0};
    QTest::newRow("ERROR keeps the bytes") << Transfer{"R", {"0102", "ERROR\r\n"}, block("0102"), kClose, "ERROR", 1};
    QTest::newRow("write: other replies") << Transfer{"W", {"BUSY\r\n", "ok\r\n"}, {}, {}, "SEND", 0};
    QTest::newRow("write: OK inside a word") << Transfer{"W", {"BOOKED"}, {}, write, "SEND", 4};
    QTest::newRow("write: ERROR") << Transfer{"W", {"ERROR\r\n"}, {}, kClose, "ERROR", 0};
    QTest::newRow("write: OK and ERROR") << Transfer{"W", {"OK ERROR"}, {}, kClose, "ERROR", 0};
    QTest::newRow("write before read") << Transfer{"RW", {kOk, kOk}, "", write + kClose, "OK", 4};
}

void TestFlash::replies()
{
    QFETCH(Transfer, c);
    Harness h;
    h.startLinked();
    h.writeFile(QStringLiteral("abc.txt"), "ABC");
    h.writeFile(QStringLiteral("copy.bin"), "stale");
    h.udp.Text2.setText("MY \"F\".TXT"); // blanks and quotes go out as typed
    QByteArray log;
    for (const char button : c.start) {
        h.dialog.answer = button == 'W' ? QStringLiteral("abc.txt") : QStringLiteral("copy.bin");
        button == 'W' ? h.udp.Command3_Click() : h.udp.Command4_Click();
        log += h.winsock.written().last();
        QCOMPARE(h.winsock.written().last(),
                 (button == 'W' ? "OPENWR" : "OPENRD") + QByteArray(" \"MY \"F\".TXT\"\r\n"));
    }
    Bytes sent;
    for (const QByteArray &reply : c.replies) {
        const Bytes out = h.feed({reply});
        log += reply + out.join();
        sent += out;
    }
    QCOMPARE(sent, c.sent);
    QCOMPARE(h.newLog(), log);
    QCOMPARE(h.udp.vbalProgressBar1.Text(), c.progress);
    QCOMPARE(h.udp.vbalProgressBar1.Value(), c.value);
    // The bar's text tells whether the transfer is still under way.
    QCOMPARE(h.udp.FlashReading, qint16(c.progress == "READ"));
    QCOMPARE(h.udp.FlashWriting, qint16(c.progress == "SEND"));
    QCOMPARE(h.udp.files.isOpen(h.udp.FlashFile), c.progress == "READ");
    if (c.start.contains('R'))
        QCOMPARE(h.file(QStringLiteral("copy.bin")), c.file);
}

void TestFlash::noTransfer_data()
{
    QTest::addColumn<NoTransfer>("c");
    const QStringList open{QStringLiteral("open")}, save{QStringLiteral("save")};
    const QString cancel = QStringLiteral("Vantrel: Cancel");
    QTest::newRow("send cancelled") << NoTransfer{
        .answer = "local.bin", .cancel = true, .dialogs = open, .box = cancel};
    QTest::newRow("receive, no name") << NoTransfer{.button = '4', .dialogs = save, .box = cancel};
    QTest::newRow("send an empty file") << NoTransfer{
        .answer = "empty.bin", .dialogs = open, .box = "Error#9: The file is empty: empty.bin"};
    QTest::newRow("send, link down") << NoTransfer{.linked = false, .answer = "local.bin"};
    QTest::newRow("receive, link down") << NoTransfer{.button = '4', .linked = false, .answer = "copy.bin"};
    QTest::newRow("end, link down") << NoTransfer{.button = '5', .linked = false};
    QTest::newRow("end with no transfer") << NoTransfer{.button = '5', .sent = kClose};
}

void TestFlash::noTransfer()
{
    QFETCH(NoTransfer, c);
    Harness h;
    h.startLinked();
    if (!c.linked)
        h.udp.Command1_Click();
    h.writeFile(QStringLiteral("empty.bin"), {});
    h.udp.Command2.SetFocus();
    h.dialog.answer = c.answer;
    h.dialog.cancel = c.cancel;
    c.button == '3' ? h.udp.Command3_Click() : c.button == '4' ? h.udp.Command4_Click() : h.udp.Command5_Click();
    QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    QCOMPARE(h.dialog.shown, c.dialogs);
    QCOMPARE(h.boxes.boxes.size(), c.box.isEmpty() ? 0 : 1);
    for (const FakeMessageBox::Shown &shown : h.boxes.boxes) {
        QCOMPARE(shown.title + QStringLiteral(": ") + shown.text, c.box);
        QCOMPARE(shown.icon, c.box.startsWith(QStringLiteral("Error#")) ? MessageBox::Critical : MessageBox::NoIcon);
    }
    QCOMPARE(h.winsock.written(), c.sent);
    QCOMPARE(h.newLog(), c.sent.join());
    QCOMPARE(h.udp.vbalProgressBar1.Text(), QByteArray("NO FILE"));
    QVERIFY(!h.udp.FlashWriting && !h.udp.FlashReading);
    QVERIFY(!h.udp.files.isOpen(h.udp.FlashFile));
}

QTEST_GUILESS_MAIN(TestFlash)
#include "tst_flash.moc"
