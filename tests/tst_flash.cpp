// SPDX-License-Identifier: MIT
// The flash-disk transfer: Send, Recieve and End, every reply rule, the local file's faults, the stall display.
#include "harness.h"
#include "mounts.h"

#include <QTest>

#include <optional>

using Bytes = QByteArrayList;

namespace
{
const QByteArray kOk = "OK\r\n";
const Bytes kClose{"CLOSE\r\n"};

/// A transfer as a script of steps: "#send" (of "ABC" in abc.txt), "#recieve" (into dest/copy.bin, which held
/// "stale" before), each with ":NAME" for another local file ("#send:" an empty name, "#send:cancel" a cancelled
/// dialog), "#end", "#disconnect", "#connect", "#tick" (five seconds without a reply); any other step is a datagram
/// from the device, or several read in one go, parted by "|". The file name on the device is MY "F".TXT: blanks and
/// quotes go out as typed.
struct Fault {
    Bytes script{};
    Bytes sent{}; // every command, from the first
    QByteArray progress{};
    int value = 0;
    bool running = false;
    QStringList boxes{};      // title, then the text or the words in it that matter
    QByteArray copy{"stale"}; // dest/copy.bin afterwards
    QByteArray pane{};        // what reached the console
    /// "full": dest is a tiny disk filled up ("filling": but one page); "ro": abc.txt lies on a read-only mount;
    /// "fifo": copy.bin is a FIFO
    QByteArray disk{};
};

const QByteArray kOpenRd = "OPENRD \"MY \"F\".TXT\"\r\n", kOpenWr = "OPENWR \"MY \"F\".TXT\"\r\n";
const QByteArray kRead = "READ 20\"\r\n";
const QByteArray kWriteAbc = "WRITE \"414243\"\r\n";
const QByteArray kDigits40 = "000102030405060708090A0B0C0D0E0F10111213";
const QString kRefused = QStringLiteral("Vantrel: A transfer is running: press End first.");

} // namespace
Q_DECLARE_METATYPE(Fault)

class TestFlash : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies() { runFault(); }
    void readFaults_data();
    void readFaults() { runFault(); }
    void writeFaults_data();
    void writeFaults() { runFault(); }

private:
    void runFault();
};

void TestFlash::replies_data()
{
    QTest::addColumn<Fault>("c");
    const QByteArray digits40 = kDigits40, bytes20 = QByteArray::fromHex(digits40);
    const auto block = [](const char *hex) { return QByteArray::fromHex(hex).leftJustified(20, '\0'); };
    // Each READ 20 goes out on an OK and is answered by one data reply; the file takes its place at the end marker.
    // A data reply and the OK after it come in one burst ("|"), as the socket reads them when both are there.
    const auto reading = [](const Bytes &data) {
        Bytes script{"#recieve", kOk};
        for (const QByteArray &reply : data)
            script << reply + '|' + kOk;
        script.last().chop(kOk.size() + 1);
        return script;
    };
    const auto reads = [](int n) { return Bytes{kOpenRd} + Bytes(n, kRead); };
    const auto ended = [](const QByteArray &end) { return Bytes{"#recieve", end}; };
    // Pairs decode as 1F 31, 7 alone 7, a5 5, ff 0, G1 1; characters next to the digit ranges count 0.
    QTest::newRow("40 digits, 1F7, end") << Fault{
        reading({digits40 + "\r\n", "1F7"}) << "ND", reads(2) + kClose, "OK", 100, false, {}, bytes20 + block("1F07")};
    QTest::newRow("line end inside") << Fault{
        reading({"1F\r\nFF"}) << "ND", reads(1) + kClose, "OK", 100, false, {}, block("1F00FF")};
    QTest::newRow("lower case, non-hex") << Fault{
        reading({"a5ffG1/:@G"}) << "ND", reads(1) + kClose, "OK", 100, false, {}, block("050001")};
    // The old file stays in place until the end marker.
    QTest::newRow("progress modulo 100") << Fault{reading(Bytes(101, digits40)), reads(101), "READ", 1, true};
    QTest::newRow("ND at 1") << Fault{ended("ND\r\n"), reads(0) + kClose, "OK", 100, false, {}, ""};
    QTest::newRow("ND at 2") << Fault{ended("1ND\r\n"), reads(0) + kClose, "OK", 100, false, {}, ""};
    QTest::newRow("ND at 7") << Fault{ended("ABCDEFND"), reads(0) + kClose, "OK", 100, false, {}, "\xAB\xCD\xEF"};
    QTest::newRow("ND at 8") << Fault{ended("ABCDEF1ND"), reads(0) + kClose, "OK", 100, false, {}, "\xAB\xCD\xEF"};
    QTest::newRow("ND at 41") << Fault{ended(digits40 + "ND\r\n"), reads(0) + kClose, "OK", 100, false, {}, bytes20};
    QTest::newRow("ND with OK") << Fault{
        ended("12OKND"), reads(0) + kClose, "OK", 100, false, {}, QByteArray::fromHex("1200")};
    // The device's refusal says why: the user reads it in the pane.
    QTest::newRow("ERROR over ND and OK") << Fault{
        .script = ended("12OKND ERROR"), .sent = reads(0) + kClose, .progress = "ERROR", .pane = "12OKND ERROR"};
    QTest::newRow("write: case, contains")
        << Fault{{"#send", "BUSY", "ok", "BOOKED"}, {kOpenWr, kWriteAbc}, "SEND", 4, true};
    // Nothing starts without a file to send or a name to read into; End still closes, and with the link down the
    // three buttons do nothing at all.
    QTest::newRow("cancelled, no name, an empty file")
        << Fault{.script = {"#send:cancel", "#recieve:", "#send:empty.bin"},
                 .progress = "NO FILE",
                 .boxes = {"Vantrel: Cancel", "Vantrel: Cancel", "Error#9: The file is empty: empty.bin"}};
    QTest::newRow("End with no transfer") << Fault{{"#end"}, kClose, "NO FILE"};
    QTest::newRow("the link down") << Fault{{"#disconnect", "#send", "#recieve", "#end"}, {}, "NO FILE"};
    QTest::newRow("write: ERROR over OK") << Fault{
        .script = {"#send", "OK ERROR"}, .sent = {kOpenWr, kClose[0]}, .progress = "ERROR", .pane = "OK ERROR"};
}

void TestFlash::readFaults_data()
{
    QTest::addColumn<Fault>("c");
    const QByteArray d = kDigits40, bytes20 = QByteArray::fromHex(kDigits40);
    const QByteArray ok = kOk;
    const QString diskFull = QStringLiteral("Error#61: No space left on device");
    // Each READ 20 is answered by one data reply and an OK: an OK with no data before it means the data was lost.
    QTest::newRow("lost data reply") << Fault{
        {"#recieve", ok, d, ok, ok}, {kOpenRd, kRead, kRead, kClose[0]}, "ERROR", 1};
    QTest::newRow("second data reply") << Fault{{"#recieve", ok, d, d}, {kOpenRd, kRead, kClose[0]}, "ERROR", 1};
    // The first write that fails ends the read with one box; the rest of the device's answers reach the console.
    QTest::newRow("full disk") << Fault{{"#recieve", ok, d, ok, d},
                                        {kOpenRd, kRead, kClose[0]},
                                        "ERROR",
                                        0,
                                        false,
                                        {diskFull},
                                        "stale",
                                        ok + d,
                                        "full"};
    // The bytes go to the file in growing pieces: with a page of room the one that holds blocks 128 to 255 fails, and
    // the read ends there as at the first block.
    Bytes filling{"#recieve", ok};
    for (int block = 1; block < 255; ++block)
        filling << d + '|' + ok;
    filling << d << ok;
    QTest::newRow("a disk that fills during the read") << Fault{
        filling, Bytes{kOpenRd} + Bytes(255, kRead) + kClose, "ERROR", 54, false, {diskFull}, "stale", ok, "filling"};
    QTest::newRow("ERROR keeps the old file")
        << Fault{{"#recieve", ok, d, "ERROR"}, {kOpenRd, kRead, kClose[0]}, "ERROR", 1, false, {}, "stale", "ERROR"};
    // The OK is the device's answer to the CLOSE.
    QTest::newRow("a file missing on the device") << Fault{.script = {"#recieve", "ERROR file not found\r\n", ok},
                                                           .sent = {kOpenRd, kClose[0]},
                                                           .progress = "ERROR",
                                                           .pane = "ERROR file not found\r\n" + ok};
    // Nothing is asked of the device; its OK is console text.
    QTest::newRow("a FIFO in the local file's place")
        << Fault{.script = {"#recieve:" + fifoName("copy.bin").toUtf8(), ok},
                 .progress = "READ",
                 .boxes = {"Error#75: not a regular file"},
                 .pane = ok,
                 .disk = "fifo"};
    QTest::newRow("End keeps the old file")
        << Fault{{"#recieve", ok, d, "#end"}, {kOpenRd, kRead, kClose[0]}, "READ", 1};
    QTest::newRow("the end marker puts the file in place") << Fault{
        {"#recieve", ok, d, ok, "ABND"}, {kOpenRd, kRead, kRead, kClose[0]}, "OK", 100, false, {}, bytes20 + "\xAB"};
    QTest::newRow("Disconnect ends the read")
        << Fault{{"#recieve", ok, d, "#disconnect", "#connect", d}, {kOpenRd, kRead}, "READ", 1, false, {}, "stale", d};
    QTest::newRow("no second transfer") << Fault{
        {"#recieve", "#send", "#recieve", ok}, {kOpenRd, kRead}, "READ", 0, true, {kRefused, kRefused}};
    QTest::newRow("no reply for 5 s") << Fault{
        {"#recieve", ok, d, "#tick", "#tick"}, {kOpenRd, kRead}, "NO REPLY", 1, true};
    QTest::newRow("the next reply clears it")
        << Fault{{"#recieve", ok, "#tick", d, ok}, {kOpenRd, kRead, kRead}, "READ", 1, true};
}

void TestFlash::writeFaults_data()
{
    QTest::addColumn<Fault>("c");
    const QByteArray ok = kOk;
    QTest::newRow("read-only file") << Fault{{"#send", ok}, {kOpenWr, kWriteAbc}, "SEND", 4, true, {}, "stale", {},
                                             "ro"};
    QTest::newRow("Disconnect ends the write")
        << Fault{{"#send", "#disconnect", "#connect", ok}, {kOpenWr}, "SEND", 0, false, {}, "stale", ok};
    QTest::newRow("no second transfer") << Fault{
        {"#send", "#recieve", "#send", ok}, {kOpenWr, kWriteAbc}, "SEND", 4, true, {kRefused, kRefused}};
    QTest::newRow("no reply for 5 s") << Fault{{"#send", ok, "#tick"}, {kOpenWr, kWriteAbc}, "NO REPLY", 4, true};
    QTest::newRow("the next reply clears it") << Fault{{"#send", "#tick", ok}, {kOpenWr, kWriteAbc}, "SEND", 4, true};
    QTest::newRow("End after a stall") << Fault{{"#send", "#tick", "#end"}, {kOpenWr, kClose[0]}, "SEND", 0};
}

void TestFlash::runFault()
{
    QFETCH(Fault, c);
    Harness h;
    h.startLinked();
    const QString dest = h.dir.filePath(QStringLiteral("dest"));
    QString source = h.dir.filePath(QStringLiteral("src"));
    QVERIFY(QDir().mkpath(dest) && QDir().mkpath(source));
    QVERIFY(h.writeFile(QStringLiteral("src/abc.txt"), "ABC") && h.writeFile(QStringLiteral("src/empty.bin"), {}));
    std::optional<TestMount> mount;
    std::optional<TestFifo> fifo;
    if (c.disk == "fifo")
        QVERIFY(fifo.emplace(QDir(dest).filePath(QStringLiteral("copy.bin"))).ok());
    else if (c.disk == "full" || c.disk == "filling")
        mount.emplace(dest, 64 * 1024);
    else if (c.disk == "ro")
        mount.emplace(source, h.dir.filePath(QStringLiteral("ro")));
    if (mount && !mount->ok())
        QSKIP(qPrintable(mount->error()));
    if (c.disk == "ro")
        source = h.dir.filePath(QStringLiteral("ro"));
    // A named pipe on Windows lives apart: the old file stays beside it.
    if (!fifo || fifo->path() != QDir(dest).filePath(QStringLiteral("copy.bin")))
        QVERIFY(h.writeFile(QStringLiteral("dest/copy.bin"), "stale"));
    if (c.disk == "full" || c.disk == "filling")
        QVERIFY(fillDisk(dest));
    if (c.disk == "filling") {
        QFile filler(QDir(dest).filePath(QStringLiteral("filler")));
        QVERIFY(filler.resize(filler.size() - 4096));
    }
    auto *flashTimer = static_cast<Timer *>(h.udp.find("TMRFlash"));
    h.udp.Text2.setText("MY \"F\".TXT");

    // Every datagram is logged as it came, and every command as it went out, in order. What came is on disk before
    // the next command goes out.
    QByteArray log;
    QByteArrayList lateInLog;
    h.winsock.onSend = [&](const QByteArray &command) {
        if (!h.newLog().startsWith(log))
            lateInLog << command;
    };
    for (const QByteArray &step : c.script) {
        const qsizetype sentBefore = h.winsock.written().size();
        if (!step.startsWith('#'))
            log += QByteArray(step).replace('|', "");
        if (step.startsWith("#send") || step.startsWith("#recieve")) {
            const bool send = step.startsWith("#send");
            const QByteArray name =
                step.contains(':') ? step.mid(step.indexOf(':') + 1) : QByteArray(send ? "abc.txt" : "copy.bin");
            h.dialog.cancel = name == "cancel";
            h.dialog.answer =
                name.isEmpty() ? QString() : QDir(send ? source : dest).filePath(QString::fromLatin1(name));
            h.udp.Command2.SetFocus();
            send ? h.udp.Command3_Click() : h.udp.Command4_Click();
            QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
            QCOMPARE(h.dialog.filter, h.dialog.shown.isEmpty() ? QString() : QStringLiteral("All files (*.*)|*.*"));
        } else if (step == "#end") {
            h.udp.Command5_Click();
        } else if (step == "#disconnect") {
            h.udp.Command1_Click();
        } else if (step == "#connect") {
            h.connect();
        } else if (step == "#tick") {
            QVERIFY(flashTimer && flashTimer->Enabled());
            flashTimer->Tick();
        } else {
            h.winsock.feedBurst(step.split('|'));
        }
        log += h.winsock.written().mid(sentBefore).join();
    }
    QCOMPARE(h.winsock.written(), c.sent);
    QCOMPARE(h.newLog(), log);
    QCOMPARE(lateInLog, QByteArrayList());
    QCOMPARE(h.udp.vbalProgressBar1.Text(), c.progress);
    QCOMPARE(h.udp.vbalProgressBar1.Value(), c.value);
    QCOMPARE(h.udp.FlashReading + h.udp.FlashWriting, int(c.running));
    const QStringList boxes = h.boxes.lines();
    QCOMPARE(boxes.size(), c.boxes.size());
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        const QStringList words = c.boxes[i].split(QStringLiteral(": "));
        QVERIFY2(boxes[i].startsWith(words[0]) && boxes[i].contains(words.last()), qPrintable(boxes[i]));
    }
    QCOMPARE(h.udp.tbReceiveData.Text(), c.pane);
    // A FIFO is never read: that would wait for a writer.
    const bool fifoInPlace = fifo && fifo->path() == QDir(dest).filePath(QStringLiteral("copy.bin"));
    QCOMPARE(fifoInPlace ? c.copy : h.file(QStringLiteral("dest/copy.bin")), c.copy);
    // An ended read leaves nothing of its own beside the file.
    if (!c.running)
        QCOMPARE(QDir(dest).entryList(QDir::Files | QDir::System | QDir::Hidden).filter(QStringLiteral("copy")),
                 QStringList{QStringLiteral("copy.bin")});
    // Silence is watched while a transfer runs.
    QCOMPARE(flashTimer && flashTimer->Enabled(), c.running);
}

QTEST_GUILESS_MAIN(TestFlash)
#include "tst_flash.moc"
