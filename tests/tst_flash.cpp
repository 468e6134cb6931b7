// SPDX-License-Identifier: MIT
#include "flash/hex.h"
#include "harness.h"

#include <QTest>

using Bytes = QByteArrayList;

namespace
{
const QByteArray kOk = "OK\r\n";

/// A link that is up, with the start-up lines already in the log.
struct Link {
    Link()
    {
        h.udp.Form_Load();
        h.connect();
        logStart = h.file(QStringLiteral("Terminal.log")).size();
    }
    /// What the log gained since the link came up.
    QByteArray logTail() const { return h.file(QStringLiteral("Terminal.log")).mid(logStart); }
    /// Feeds one datagram; returns the datagrams it made the terminal send.
    Bytes feed(const QByteArray &datagram)
    {
        const qsizetype before = h.winsock.written().size();
        h.winsock.feedReceived(datagram);
        return h.winsock.written().mid(before);
    }

    Harness h;
    qsizetype logStart = 0;
};

/// Bytes that differ from their neighbours and cover every value from 0 to 255.
QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 37 + 11) % 256);
    return bytes;
}
} // namespace

class TestFlash : public QObject
{
    Q_OBJECT
private slots:
    void decode2_data();
    void decode2();
    void pairsDecodeLikeDecode2();
    void writeBlocks_data();
    void writeBlocks();
    void writeReplies_data();
    void writeReplies();
    void read_data();
    void read();
    void readProgressCountsModulo100();
    void readEmptiesExistingFile();
    void writeTakesPrecedenceOverRead();
    void endWithoutTransferSendsClose();
    void startRefused_data();
    void startRefused();
};

void TestFlash::decode2_data()
{
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<int>("value");
    QTest::newRow("1F") << QByteArray("1F") << 31;
    QTest::newRow("FF") << QByteArray("FF") << 255;
    QTest::newRow("0A") << QByteArray("0A") << 10;
    QTest::newRow("7 alone") << QByteArray("7") << 7;
    QTest::newRow("C alone") << QByteArray("C") << 12;
    QTest::newRow("G1") << QByteArray("G1") << 1;
    QTest::newRow("ff") << QByteArray("ff") << 0;
    QTest::newRow("a5") << QByteArray("a5") << 5;
    QTest::newRow("CR LF") << QByteArray("\r\n") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("three digits") << QByteArray("123") << 0;
}

void TestFlash::decode2()
{
    QFETCH(QByteArray, digits);
    QFETCH(int, value);
    QCOMPARE(int(UDP::Decode2(digits)), value);
}

void TestFlash::pairsDecodeLikeDecode2()
{
    // The reply decoder takes its pairs straight from the reply; it must agree with Decode2 on every pair,
    // and on every single digit cut by the reply's end.
    QCOMPARE(int(UDP::Decode("A")), 10);
    QCOMPARE(int(UDP::Decode("a")), 0);
    QCOMPARE(int(UDP::Decode("0A")), 0);
    for (int first = 0; first < 256; ++first) {
        const QByteArray one(1, char(first));
        QCOMPARE(int(Hex::pairValue(one, 1)), int(UDP::Decode2(one)));
        for (int second = 0; second < 256; ++second) {
            const QByteArray pair = one + char(second);
            if (Hex::pairValue("xx" + pair, 2) != UDP::Decode2(pair))
                QFAIL(qPrintable(QStringLiteral("pair %1 %2").arg(first).arg(second)));
        }
    }
    QCOMPARE(int(Hex::pairValue("1F", 2)), 0);
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
    Link link;
    Harness &h = link.h;
    const QByteArray data = pattern(size);
    h.writeFile(QStringLiteral("local.bin"), data);
    h.dialog.answer = QStringLiteral("local.bin");

    h.udp.Command3_Click();
    QCOMPARE(h.dialog.shown, QStringList{QStringLiteral("open")});
    QCOMPARE(h.dialog.filter, QStringLiteral("All files (*.*)|*.*"));
    QCOMPARE(h.winsock.written(), Bytes{"OPENWR \"SAMPLE.TXT\"\r\n"});
    QCOMPARE(h.udp.vbalProgressBar1.Max(), size);
    QCOMPARE(h.udp.vbalProgressBar1.Text(), QByteArray("SEND"));
    QByteArray expectedLog = "OPENWR \"SAMPLE.TXT\"\r\n";

    for (int b = 0; b < blocks; ++b) {
        const QByteArray block = data.mid(21 * b, 21);
        QCOMPARE(block.size(), b + 1 < blocks ? 21 : lastBlock);
        const QByteArray command = "WRITE \"" + block.toHex().toUpper() + '"';
        QCOMPARE(link.feed(kOk), Bytes{command + "\r\n"});
        QCOMPARE(h.udp.tbSendData.Text(), command);
        QCOMPARE(h.udp.vbalProgressBar1.Value(), 21 * b + int(block.size()) + 1);
        expectedLog += kOk + command + "\r\n";
    }
    QCOMPARE(h.udp.vbalProgressBar1.Value(), size + 1);
    QCOMPARE(h.udp.vbalProgressBar1.Text(), QByteArray("SEND"));

    QCOMPARE(link.feed(kOk), Bytes{"CLOSE\r\n"});
    expectedLog += kOk + "CLOSE\r\n";
    QCOMPARE(h.udp.vbalProgressBar1.Text(), QByteArray("OK"));
    QCOMPARE(h.udp.FlashWriting, qint16(0));
    QCOMPARE(link.logTail(), expectedLog);
    QCOMPARE(h.winsock.written().size(), blocks + 2);
    // The transfer is over: a further "OK" is the console's.
    QCOMPARE(link.feed(kOk), Bytes{});
}

void TestFlash::writeReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Bytes>("sent");
    QTest::addColumn<QByteArray>("progress");
    QTest::addColumn<int>("writing");
    QTest::newRow("neither OK nor ERROR") << QByteArray("BUSY\r\n") << Bytes{} << QByteArray("SEND") << 1;
    QTest::newRow("lower-case ok") << QByteArray("ok\r\n") << Bytes{} << QByteArray("SEND") << 1;
    QTest::newRow("ERROR") << QByteArray("ERROR\r\n") << Bytes{"CLOSE\r\n"} << QByteArray("ERROR") << 0;
    QTest::newRow("OK and ERROR") << QByteArray("OK ERROR\r\n") << Bytes{"CLOSE\r\n"} << QByteArray("ERROR") << 0;
    QTest::newRow("OK inside a word") << QByteArray("BOOKED") << Bytes{"WRITE \"414243\"\r\n"} << QByteArray("SEND")
                                      << 1;
}

void TestFlash::writeReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(Bytes, sent);
    QFETCH(QByteArray, progress);
    QFETCH(int, writing);
    Link link;
    Harness &h = link.h;
    h.writeFile(QStringLiteral("abc.txt"), "ABC");
    h.dialog.answer = QStringLiteral("abc.txt");
    h.udp.Command3_Click();

    QCOMPARE(link.feed(reply), sent);
    QCOMPARE(h.udp.vbalProgressBar1.Text(), progress);
    QCOMPARE(int(h.udp.FlashWriting), writing);
}

void TestFlash::read_data()
{
    QTest::addColumn<Bytes>("replies");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Bytes>("sent");
    QTest::addColumn<QByteArray>("progress");
    QTest::addColumn<int>("value");

    const QByteArray zeros18(18, '\0');
    const QByteArray digits40 = "000102030405060708090A0B0C0D0E0F10111213";
    const QByteArray bytes20 = QByteArray::fromHex(digits40);
    QTest::newRow("40 digits") << Bytes{digits40 + "\r\n"} << bytes20 << Bytes{} << QByteArray("READ") << 1;
    QTest::newRow("two data replies") << Bytes{digits40, "FF"} << bytes20 + '\xFF' + QByteArray(19, '\0') << Bytes{}
                                      << QByteArray("READ") << 2;
    QTest::newRow("short, cut pair") << Bytes{"1F7"} << "\x1F\x07" + zeros18 << Bytes{} << QByteArray("READ") << 1;
    QTest::newRow("line end inside") << Bytes{"1F\r\nFF"} << QByteArray("\x1F\x00\xFF", 3) + QByteArray(17, '\0')
                                     << Bytes{} << QByteArray("READ") << 1;
    QTest::newRow("CR as low digit") << Bytes{"1\r\n"} << QByteArray(1, '\x10') + QByteArray(19, '\0') << Bytes{}
                                     << QByteArray("READ") << 1;
    QTest::newRow("lower case, non-hex") << Bytes{"a5ffG1"} << QByteArray("\x05\x00\x01", 3) + QByteArray(17, '\0')
                                         << Bytes{} << QByteArray("READ") << 1;
    QTest::newRow("OK asks for more") << Bytes{kOk, "0102", kOk} << "\x01\x02" + zeros18
                                      << Bytes{"READ 20\"\r\n", "READ 20\"\r\n"} << QByteArray("READ") << 1;
    QTest::newRow("ND at 1") << Bytes{"ND\r\n"} << QByteArray() << Bytes{"CLOSE\r\n"} << QByteArray("OK") << 100;
    QTest::newRow("ND at 2") << Bytes{"1ND\r\n"} << QByteArray() << Bytes{"CLOSE\r\n"} << QByteArray("OK") << 100;
    QTest::newRow("ND at 7") << Bytes{"ABCDEFND"} << QByteArray("\xAB\xCD\xEF") << Bytes{"CLOSE\r\n"}
                             << QByteArray("OK") << 100;
    QTest::newRow("ND at 8") << Bytes{"ABCDEF1ND"} << QByteArray("\xAB\xCD\xEF") << Bytes{"CLOSE\r\n"}
                             << QByteArray("OK") << 100;
    QTest::newRow("ND at 41") << Bytes{digits40 + "ND\r\n"} << bytes20 << Bytes{"CLOSE\r\n"} << QByteArray("OK") << 100;
    QTest::newRow("data then ND") << Bytes{kOk, "FF", kOk, "01ND"} << "\xFF" + QByteArray(19, '\0') + "\x01"
                                  << Bytes{"READ 20\"\r\n", "READ 20\"\r\n", "CLOSE\r\n"} << QByteArray("OK") << 100;
    QTest::newRow("ND with OK ends") << Bytes{"12OKND"} << QByteArray("\x12\x00", 2) << Bytes{"CLOSE\r\n"}
                                     << QByteArray("OK") << 100;
    QTest::newRow("ERROR over ND") << Bytes{"12ND ERROR"} << QByteArray() << Bytes{"CLOSE\r\n"} << QByteArray("ERROR")
                                   << 0;
    QTest::newRow("ERROR over OK") << Bytes{"OK ERROR"} << QByteArray() << Bytes{"CLOSE\r\n"} << QByteArray("ERROR")
                                   << 0;
    QTest::newRow("abort keeps data") << Bytes{"0102", "ERROR\r\n"} << "\x01\x02" + zeros18 << Bytes{"CLOSE\r\n"}
                                      << QByteArray("ERROR") << 1;
}

void TestFlash::read()
{
    QFETCH(Bytes, replies);
    QFETCH(QByteArray, file);
    QFETCH(Bytes, sent);
    QFETCH(QByteArray, progress);
    QFETCH(int, value);
    Link link;
    Harness &h = link.h;
    // The name on the flash disk goes out as typed, blanks and quotes included.
    h.udp.Text2.setText("MY \"F\".TXT");
    h.dialog.answer = QStringLiteral("copy.bin");

    h.udp.Command4_Click();
    QCOMPARE(h.dialog.shown, QStringList{QStringLiteral("save")});
    QCOMPARE(h.dialog.filter, QStringLiteral("All files (*.*)|*.*"));
    QCOMPARE(h.winsock.written(), Bytes{"OPENRD \"MY \"F\".TXT\"\r\n"});
    QCOMPARE(h.udp.vbalProgressBar1.Text(), QByteArray("READ"));
    QCOMPARE(h.udp.vbalProgressBar1.Value(), 0);
    QCOMPARE(h.udp.vbalProgressBar1.Max(), 100);

    QByteArray expectedLog = h.winsock.written().constFirst();
    Bytes replied;
    for (const QByteArray &reply : replies) {
        const Bytes out = link.feed(reply);
        expectedLog += reply + out.join();
        replied += out;
    }
    QCOMPARE(replied, sent);
    QCOMPARE(h.file(QStringLiteral("copy.bin")), file);
    QCOMPARE(h.udp.vbalProgressBar1.Text(), progress);
    QCOMPARE(h.udp.vbalProgressBar1.Value(), value);
    QCOMPARE(link.logTail(), expectedLog);
    if (sent.endsWith("CLOSE\r\n")) {
        QCOMPARE(h.udp.FlashReading, qint16(0));
        QVERIFY(!h.udp.files.isOpen(h.udp.FlashFile));
    }
}

void TestFlash::readProgressCountsModulo100()
{
    Link link;
    Harness &h = link.h;
    h.dialog.answer = QStringLiteral("copy.bin");
    h.udp.Command4_Click();
    for (int reply = 1; reply <= 100; ++reply) {
        link.feed("0102030405060708090A0B0C0D0E0F1011121314\r\n");
        QCOMPARE(h.udp.vbalProgressBar1.Value(), reply % 100);
    }
    QCOMPARE(h.udp.vbalProgressBar1.Value(), 0);
    QCOMPARE(link.feed("ND\r\n"), Bytes{"CLOSE\r\n"});
    QCOMPARE(h.udp.vbalProgressBar1.Value(), 100);
    QCOMPARE(h.file(QStringLiteral("copy.bin")).size(), 2000);
}

void TestFlash::readEmptiesExistingFile()
{
    Link link;
    Harness &h = link.h;
    h.writeFile(QStringLiteral("copy.bin"), QByteArray(100, 'x'));
    h.dialog.answer = QStringLiteral("copy.bin");
    h.udp.Command4_Click();
    link.feed("0102ND\r\n");
    QCOMPARE(h.file(QStringLiteral("copy.bin")), QByteArray("\x01\x02"));
}

void TestFlash::writeTakesPrecedenceOverRead()
{
    Link link;
    Harness &h = link.h;
    h.dialog.answer = QStringLiteral("copy.bin");
    h.udp.Command4_Click();
    h.writeFile(QStringLiteral("two.bin"), "\x12\x34");
    h.dialog.answer = QStringLiteral("two.bin");
    h.udp.Command3_Click();
    QCOMPARE(h.udp.FlashReading, qint16(1));
    QCOMPARE(h.udp.FlashWriting, qint16(1));

    QCOMPARE(link.feed(kOk), Bytes{"WRITE \"1234\"\r\n"});
    QCOMPARE(link.feed(kOk), Bytes{"CLOSE\r\n"});
    QCOMPARE(h.udp.FlashReading, qint16(0));
    QCOMPARE(h.file(QStringLiteral("copy.bin")), QByteArray());
}

void TestFlash::endWithoutTransferSendsClose()
{
    Link link;
    Harness &h = link.h;
    h.udp.Command5_Click();
    QCOMPARE(h.winsock.written(), Bytes{"CLOSE\r\n"});
    QCOMPARE(h.udp.tbSendData.Text(), QByteArray("CLOSE"));
    QCOMPARE(h.udp.vbalProgressBar1.Text(), QByteArray("NO FILE"));
    QCOMPARE(link.logTail(), QByteArray("CLOSE\r\n"));
}

void TestFlash::startRefused_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("bound");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<QString>("box");

    const QStringList open{QStringLiteral("open")}, save{QStringLiteral("save")};
    QTest::newRow("send cancelled") << 3 << true << "local.bin" << true << open << "Vantrel: Cancel";
    QTest::newRow("send, no name") << 3 << true << "" << false << open << "Vantrel: Cancel";
    QTest::newRow("receive cancelled") << 4 << true << "copy.bin" << true << save << "Vantrel: Cancel";
    QTest::newRow("receive, no name") << 4 << true << "" << false << save << "Vantrel: Cancel";
    QTest::newRow("send empty file") << 3 << true << "empty.bin" << false << open
                                     << "Error#9: The file is empty: empty.bin";
    QTest::newRow("send, link down") << 3 << false << "local.bin" << false << QStringList{} << "";
    QTest::newRow("receive, link down") << 4 << false << "copy.bin" << false << QStringList{} << "";
    QTest::newRow("end, link down") << 5 << false << "" << false << QStringList{} << "";
}

void TestFlash::startRefused()
{
    QFETCH(int, button);
    QFETCH(bool, bound);
    QFETCH(QString, answer);
    QFETCH(bool, cancel);
    QFETCH(QStringList, dialogs);
    QFETCH(QString, box);
    Harness h;
    h.udp.Form_Load();
    if (bound)
        h.connect();
    QCOMPARE(h.winsock.state() == 1, bound);
    h.writeFile(QStringLiteral("local.bin"), "DATA");
    h.writeFile(QStringLiteral("empty.bin"), {});
    h.udp.Command2.SetFocus();
    h.dialog.answer = answer;
    h.dialog.cancel = cancel;

    if (button == 3)
        h.udp.Command3_Click();
    else if (button == 4)
        h.udp.Command4_Click();
    else
        h.udp.Command5_Click();

    QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    QCOMPARE(h.dialog.shown, dialogs);
    QStringList boxes;
    for (const FakeMessageBox::Shown &shown : h.boxes.boxes)
        boxes << shown.title + QStringLiteral(": ") + shown.text;
    QCOMPARE(boxes, box.isEmpty() ? QStringList{} : QStringList{box});
    if (box.startsWith(QStringLiteral("Error#")))
        QCOMPARE(h.boxes.boxes.constFirst().icon, MessageBox::Critical);
    QCOMPARE(h.winsock.written(), Bytes{});
    QCOMPARE(h.udp.vbalProgressBar1.Text(), QByteArray("NO FILE"));
    QCOMPARE(h.udp.FlashWriting, qint16(0));
    QCOMPARE(h.udp.FlashReading, qint16(0));
    QVERIFY(!h.udp.files.isOpen(h.udp.FlashFile));
}

QTEST_GUILESS_MAIN(TestFlash)
#include "tst_flash.moc"
