// SPDX-License-Identifier: MIT
// The program exchanges: the download, the listing, NEW and VER, and how they meet each other and the flash disk.
#include "harness.h"
#include "mounts.h"
#include "serial/modbus.h"

#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <optional>

using Bytes = QByteArrayList;

namespace
{
const QByteArray kDone = "SEND BASIC PROGRAM COMPLETED\r\n", kListed = "LOAD BASIC PROGRAM COMPLETED\r\n";
const QString kCancel = QStringLiteral("Vantrel: Cancel");
/// A listing that ended before its OK leaves list.bas as it was, and tells where the lines that came are.
const QString kLeft = QStringLiteral("Vantrel: The listing ended before the device's OK: list.bas is left as it was, ");
const QString kKept = kLeft + QStringLiteral("and what came is in list.partial.bas."),
              kNone = kLeft + QStringLiteral("and nothing came.");
/// A line that, with its CR LF, is one byte over the 65,507 a datagram carries.
const QByteArray kOverDatagram(65506, 'x');
const QString kFifo = fifoName(QStringLiteral("fifo.bas"));
const QString kNotRegular = QStringLiteral("Error#75: Path/File access error: %1 (not a regular file)").arg(kFifo);

/// A download of prog.bas, the pane holding "old" before, then the steps of play() (none.bas is missing, long.bas
/// holds kOverDatagram alone, fifo.bas is a FIFO).
struct Download {
    QByteArray file{};
    Bytes steps{};
    Bytes sent{};
    QByteArray pane{};
    bool downloading = false;
    QStringList boxes{};    // each the start of "title: text"
    char link = 'U';        // U the UDP link, S the serial port in plain lines, R in RTU frames to and from station 16
    bool lowMemory = false; // prog.bas a sparse GiB with no line end, read with little address space to spare
};

/// A listing into list.bas, which held "stale" before, then the steps of play(), the replies by datagram or on the
/// serial port.
struct Listing {
    bool serial;
    Bytes replies;
    QByteArray file; // the lines listed: in list.bas once the OK came, else in list.partial.bas (none: no such file)
    QByteArray pane;
    bool capturing = false;
    QStringList boxes{};
    bool fullDisk = false; // list.bas lies on a disk that is full once the listing has started
};

/// Exchanges one after another over the UDP link, as the steps of play(); prog.bas holds two lines. Each exchange
/// may close only a file it opened itself.
struct Exchanges {
    Bytes steps;
    QByteArray list{}; // list.bas afterwards, or list.partial.bas where a listing ended before its OK
    QByteArray copy{}; // copy.bin afterwards
    QByteArray pane{}; // not checked when null
    QStringList boxes{};
};

/// One click with a link ("udp", "serial", "rtu" for the serial port framing for station 300, or none) and a dialog
/// answer ("" and cancelled when "cancel").
struct Click {
    QByteArray link;
    void (UDP::*button)() = nullptr;
    QString answer{};
    Bytes sent{};
    bool green = false;
    QStringList dialogs{};
    QStringList boxes{};
};

Bytes numbered(int count, const char *format)
{
    Bytes lines;
    for (int i = 1; i <= count; ++i)
        lines << QByteArray(format).replace('#', QByteArray::number(i));
    return lines;
}

/// Ends a child process that runs one row, once the row is over however it ended: 0 when it passed.
struct ChildExit {
    bool child = false;
    bool done = false;
    ~ChildExit()
    {
#ifdef Q_OS_UNIX
        if (child)
            ::_exit(done && !QTest::currentTestFailed() ? 0 : 1);
#endif
    }
};

#ifdef Q_OS_UNIX
/// From now on the process may take only `margin` bytes of address space beyond what it holds.
void limitAddressSpace(rlim_t margin)
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    const rlim_t pages = statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(0).toULongLong() : 0;
    const rlimit limit{pages * rlim_t(::sysconf(_SC_PAGESIZE)) + margin, RLIM_INFINITY};
    ::setrlimit(RLIMIT_AS, &limit);
}
#endif

/// One step of a script: "10:NAME" Open File and  Download, "11:NAME" Save Programm, "3:NAME" Send, "4:NAME"
/// Recieve, each answered with NAME ("" cancels), "5" End, ">>", "X", "close" the window; any other step is the
/// device's reply, by datagram ('U'), or on the serial port as a piece of input ('S') or the data of an RTU frame
/// ('R').
void play(Harness &h, const QByteArray &step, char link)
{
    if (step == "close")
        return h.udp.Form_Unload();
    static const QHash<QByteArray, void (UDP::*)()> buttons{
        {"10", &UDP::Command10_Click}, {"11", &UDP::Command11_Click}, {"3", &UDP::Command3_Click},
        {"4", &UDP::Command4_Click},   {"5", &UDP::Command5_Click},   {">>", &UDP::Command9_Click},
        {"X", &UDP::Command14_Click}};
    const QByteArray button = step.split(':').constFirst();
    if (buttons.contains(button)) {
        h.dialog.answer = QString::fromLatin1(step.mid(button.size() + 1));
        h.dialog.cancel = h.dialog.answer.isEmpty();
        (h.udp.*buttons[button])();
    } else if (link == 'U') {
        h.winsock.feedReceived(step);
    } else {
        h.mscomm.feedReceived(link == 'R' ? Modbus::frame(16, Modbus::kConsoleFunction, step) : step);
        h.udp.TMRComm_Timer();
    }
}

/// The boxes shown, each cut to the length of the one expected in its place.
QStringList shownBoxes(const FakeMessageBox &boxes, const QStringList &expected)
{
    QStringList shown = boxes.lines();
    for (qsizetype i = 0; i < qMin(shown.size(), expected.size()); ++i)
        shown[i].truncate(expected[i].size());
    return shown;
}
} // namespace
Q_DECLARE_METATYPE(Download)
Q_DECLARE_METATYPE(Listing)
Q_DECLARE_METATYPE(Exchanges)
Q_DECLARE_METATYPE(Click)

class TestProgram : public QObject
{
    Q_OBJECT
private slots:
    void download_data();
    void download();
    void listing_data();
    void listing();
    void exchanges_data();
    void exchanges();
    void clicks_data();
    void clicks();
};

void TestProgram::download_data()
{
    QTest::addColumn<Download>("c");
    const QByteArray digits = QByteArray("0123456789").repeated(15); // 150 characters
    const QByteArray abc = "10 A\n20 B\n30 C";
    const Bytes a{"10 A\r\n"}, ab{"10 A\r\n", "20 B\r\n"};
    // Leading zeros: at most three go, and a line that starts with "0" keeps 100 characters after each.
    QTest::newRow("zeros, first line shown")
        << Download{"0010 PRINT 1\r\n0020 END\r\n", {}, {"10 PRINT 1\r\n"}, "old10 PR\n", true};
    QTest::newRow("zeros, second line completes")
        << Download{"0010 PRINT 1\r\n0020 END\r\n", {"OK\r\n"}, {"10 PRINT 1\r\n", "20 END\r\n"}, kDone};
    QTest::newRow("00000 X and 0") << Download{"00000 X\n0\n", {"OK\r\n"}, {"00 X\r\n", "\r\n"}, kDone};
    QTest::newRow("150 characters from 01")
        << Download{digits + "\n20 B", {}, {digits.mid(1, 100) + "\r\n"}, "old12345\n", true};
    QTest::newRow("150 characters from 1")
        << Download{digits.mid(1) + "0\n20 B", {}, {digits.mid(1) + "0\r\n"}, "old12345\n", true};
    QTest::newRow("00 and 150 characters keep 99")
        << Download{"00" + digits.mid(1) + "0\n20 B", {}, {digits.mid(1, 99) + "\r\n"}, "old12345\n", true};
    // Line ends: CR, LF or CR LF; an empty line goes out as CR LF alone.
    QTest::newRow("CR only") << Download{"10 A\r20 B\r", {"OK"}, ab, kDone};
    QTest::newRow("LF only") << Download{"10 A\n20 B", {"OK"}, ab, kDone};
    QTest::newRow("empty line") << Download{"10 A\r\n\r\n20 B\r\n", {"OK", "OK"}, {a[0], "\r\n", "20 B\r\n"}, kDone};
    // Completion comes with the last line sent: the device's reply to it is console text, even an error.
    QTest::newRow("one line") << Download{"10 END", {}, {"10 END\r\n"}, kDone};
    QTest::newRow("one line, then its OK") << Download{"10 END", {"OK\r\n"}, {"10 END\r\n"}, kDone + "OK\r\n"};
    QTest::newRow("last line, then ERROR")
        << Download{"10 A\n20 B", {"OK", "ERROR 5\r\n", ">>"}, ab, kDone + "ERROR 5\r\n"};
    // Replies: "ERROR" ends the download, "OK" anywhere advances, all else waits.
    QTest::newRow("ERROR 3 after a line") << Download{"10 A\n20 B\n30 GOTO 99\n40 C",
                                                      {"OK\r\n", "OK\r\n", "OK ERROR 3\r\n", "OK\r\n", ">>"},
                                                      {a[0], "20 B\r\n", "30 GOTO 99\r\n"},
                                                      "LOAD DATA = 30 GOTO 99Error - see  source file \r\nOK\r\n"};
    QTest::newRow("lower case waits") << Download{
        abc, {"ok\r\n", "error login"}, a, "old10 A\nok\r\n\r\nerror login\r\n", true};
    // A login prompt ends the download; the password prompt's reply is still read for its OK.
    QTest::newRow("Login, then the console") << Download{abc, {"Login: OK", "OK"}, a, "old10 A\nACCESS DENIED\r\nOK"};
    QTest::newRow("Password") << Download{abc, {"Password:"}, a, "old10 A\nACCESS DENIED\r\nPassword:\r\n"};
    QTest::newRow("Password with OK") << Download{abc, {"Password OK"}, ab, "LOAD DATA = 20 B"};
    QTest::newRow("BOOKED advances") << Download{abc, {"ok\r\n", "BOOKED"}, ab, "LOAD DATA = 20 B", true};
    // ">>": two datagrams on a UDP-only link; nothing after "X" or completion.
    QTest::newRow(">>") << Download{abc, {">>"}, {a[0], "20 B\r\n", "20 B\r\n"}, "LOAD DATA = 20 B", true};
    QTest::newRow(">> to the end") << Download{
        abc, {">>", ">>"}, {a[0], "20 B\r\n", "20 B\r\n", "30 C\r\n", "30 C\r\n"}, kDone};
    QTest::newRow(">> after X") << Download{abc, {"X", ">>", "OK"}, a, "old10 A\nOK"};
    QTest::newRow(">> after completion") << Download{"10 A\n20 B", {"OK", ">>"}, ab, kDone};
    // The line table holds 2048 lines.
    QTest::newRow("2048 lines") << Download{numbered(2048, "# REM").join('\n'), Bytes(2047, "OK"),
                                            numbered(2048, "# REM\r\n"), kDone};
    QTest::newRow("2049 lines") << Download{.file = numbered(2049, "# REM").join('\n'),
                                            .steps = {"OK", ">>"},
                                            .pane = "oldOK",
                                            .boxes = {"Error#9: The program has more than 2048 lines: prog.bas"}};
    // A start that fails sends nothing and leaves no download on, also when one was under way.
    QTest::newRow("empty file") << Download{
        .steps = {"OK", ">>"}, .pane = "oldOK", .boxes = {"Error#9: The file holds no program lines: prog.bas"}};
    QTest::newRow("missing file ends the download under way")
        << Download{abc, {"10:none.bas", "OK", ">>"}, a, "old10 A\nOK", false, {"Error#53: File not found: none.bas"}};
    QTest::newRow("a folder") << Download{abc, {"10:dir.bas", "OK"}, a, "old10 A\nOK", false, {"Error#75: "}};
    QTest::newRow("a FIFO") << Download{abc, {"10:" + kFifo.toUtf8(), "OK"}, a, "old10 A\nOK", false, {kNotRegular}};
    QTest::newRow("out of memory") << Download{
        .steps = {"OK", ">>"}, .pane = "oldOK", .boxes = {"Error#7: Out of memory"}, .lowMemory = true};
    // A line its link refuses ends the download with a box naming it, and is not shown as sent.
    const QString tooLarge = QStringLiteral(" of the program cannot be sent: Datagram was too large to send");
    QTest::newRow("a line no datagram holds, at the start")
        << Download{abc, {"10:long.bas", "OK", ">>"}, a, "old10 A\nOK", false, {"Error#10040: Line 1" + tooLarge}};
    QTest::newRow("a line no datagram holds, on OK")
        << Download{"10 A\n" + kOverDatagram, {"OK", ">>"}, a, "old10 A\n", false, {"Error#10040: Line 2" + tooLarge}};
    QTest::newRow("a line no datagram holds, on >>") << Download{
        "10 A\n" + kOverDatagram, {">>", "OK"}, a, "old10 A\nOK", false, {"Error#10040: Line 2" + tooLarge}};
    // On the serial port each line goes out in a frame and lights the indicator; the reply to the last is console text.
    QTest::newRow("RTU: to the end, then the console") << Download{
        abc, {"OK\r\n", "OK\r\n", "ERROR 1\r\n"}, {a[0], "20 B\r\n", "30 C\r\n"}, kDone + "ERROR 1\r\n", false, {},
        'R'};
    QTest::newRow("RTU: a line over 253 characters, on OK") << Download{
        "10 A\n" + QByteArray(254, 'x'), {"OK", ">>"}, a, "old10 A\n", false, {"Error#6: Line 2 of the program"}, 'R'};
    // A poll may cut the device's answer anywhere: the part that came with the next poll completes it.
    QTest::newRow("serial: OK cut between two polls")
        << Download{abc, {"O", "K\r\n", "OK\r\n"}, {a[0], "20 B\r\n", "30 C\r\n"}, kDone, false, {}, 'S'};
    QTest::newRow("serial: ERROR cut between two polls") << Download{
        abc, {"ERR", "OR 3\r\n", "OK\r\n"}, a, "old10 A\nERR\r\nError - see  source file \r\nOK\r\n", false, {}, 'S'};
    QTest::newRow("a new start begins again")
        << Download{abc, {"OK", "10:prog.bas", "OK"}, {a[0], "20 B\r\n", a[0], "20 B\r\n"}, "LOAD DATA = 20 B", true};
}

void TestProgram::download()
{
    QFETCH(Download, c);
    Harness h;
    UDP &w = h.udp;
    if (c.link != 'U') {
        h.startOpen();
        w.Check1.setValue(c.link == 'R');
    } else {
        h.startLinked();
    }
    QVERIFY(h.writeFile(QStringLiteral("prog.bas"), c.file));
    QVERIFY(h.writeFile(QStringLiteral("long.bas"), kOverDatagram));
    QVERIFY(QDir(h.dir.path()).mkdir(QStringLiteral("dir.bas")));
    TestFifo fifo(h.dir.filePath(QStringLiteral("fifo.bas")));
    QVERIFY(fifo.ok());
    // An earlier, longer program must never show through.
    std::fill(w.ProgLine.begin(), w.ProgLine.end(), QByteArray("99 LEFT OVER"));
    w.tbReceiveData.setText("old");
    const qint16 freeBefore = w.files.FreeFile();
    ChildExit child;
    if (c.lowMemory) {
#ifdef VANTREL_SANITIZED
        QSKIP("the sanitizers reserve more address space than a limit leaves");
#endif
#ifndef Q_OS_UNIX
        QSKIP("the row runs in a child with a limit on its address space: that needs fork and setrlimit");
#else
        QVERIFY(QFile::resize(QStringLiteral("prog.bas"), qint64(1) << 30));
        std::fflush(stdout);
        const pid_t pid = ::fork();
        QVERIFY(pid >= 0);
        if (pid > 0) {
            int status = 0;
            QCOMPARE(::waitpid(pid, &status, 0), pid);
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0,
                     qPrintable(QStringLiteral("the row failed in its child (wait status %1)").arg(status)));
            return;
        }
        child.child = true;
        limitAddressSpace(rlim_t(128) << 20);
#endif
    }
    play(h, "10:prog.bas", c.link);
    QCOMPARE(h.dialog.filter, QStringLiteral("BAS files (*.bas)|*.bas"));
    QCOMPARE(h.dialog.shown, QStringList{QStringLiteral("open")});
    for (const QByteArray &step : c.steps)
        play(h, step, c.link);
    Bytes sent = h.winsock.written();
    for (const QByteArray &written : h.mscomm.written())
        sent << (c.link == 'R' ? written.sliced(3, written.size() - 5) : written); // the line a frame carries
    QCOMPARE(sent, c.sent);
    QCOMPARE(w.tbReceiveData.Text(), c.pane);
    QCOMPARE(w.ProgDownloadMode, qint16(c.downloading));
    QCOMPARE(w.ProgSaveMode, qint16(0));
    QCOMPARE(shownBoxes(h.boxes, c.boxes), c.boxes);
    for (const FakeMessageBox::Shown &box : h.boxes.boxes)
        QCOMPARE(box.icon, MessageBox::Critical);
    // The .bas file is read at the start and closed at once, whatever happened.
    QCOMPARE(w.files.FreeFile(), freeBefore);
    QCOMPARE(w.ProgFileNum, qint16(0));
    QCOMPARE(h.system.slept.isEmpty(), c.sent.isEmpty());
    QCOMPARE(w.focus(), &w.tbSendData);
    child.done = true;
}

void TestProgram::listing_data()
{
    QTest::addColumn<Listing>("c");
    const Bytes three{"10 PRINT 1\r\n", "20 END\r\n", "OK\r\n"};
    const QByteArray two = "10 PRINT 1\r\n20 END\r\n";
    for (const bool serial : {false, true}) {
        const char *side = serial ? "serial: " : "datagram: ";
        QTest::addRow("%sthree replies", side) << Listing{serial, three, two, kListed};
        // "OK" ends the listing within a line's first five characters only, and the words count in their case.
        QTest::addRow("%sOK at the fourth character ends", side)
            << Listing{serial, {"10 A\r\n", "123OK=5\r\n"}, "10 A\r\n", kListed};
        QTest::addRow("%sOK from the fifth is a line", side)
            << Listing{serial, {"1234OK\r\n"}, "1234OK\r\n", "LOAD DATA = 1234OK\r\n\r\n", true};
        const QByteArray words = "ERROR ok login passwor\r\n";
        QTest::addRow("%sERROR and lower case are a line", side)
            << Listing{serial, {words}, words, "LOAD DATA = " + words + "\r\n", true};
        // The first line the disk refuses ends the capture with one box; the rest is console text.
        QTest::addRow("%sa full disk", side)
            << Listing{serial, three, "", "20 END\r\nOK\r\n", false, {QStringLiteral("Error#61")}, true};
        // A listing that ends before its OK leaves the old file as it was, and the lines that came beside it.
        QTest::addRow("%sthe window closed", side) << Listing{
            serial, {"10 PRINT 1\r\n", "close"}, "10 PRINT 1\r\n", "LOAD DATA = 10 PRINT 1\r\n\r\n", false, {kKept}};
        QTest::addRow("%sa silent device, the window closed", side)
            << Listing{serial, {"close"}, "", "", false, {kNone}};
        QTest::addRow("%san OK at once empties the file", side) << Listing{serial, {"OK\r\n"}, "", kListed};
    }
    // Serial input may be cut anywhere: the file holds the same characters, the pane the latest piece.
    QTest::newRow("serial: pieces") << Listing{
        true, {"10 PR", "INT 1\r\n2", "0 END\r\n"}, two, "LOAD DATA = 0 END\r\n\r\n", true};
    QTest::newRow("serial: pieces, then OK")
        << Listing{true, {"10 PR", "INT 1\r\n2", "0 END\r\n", "OK\r\n"}, two, kListed};
    Bytes characters;
    for (const char ch : two)
        characters << QByteArray(1, ch);
    QTest::newRow("serial: a character a piece") << Listing{true, characters << "OK", two, kListed};
    // A poll cuts anywhere: the closing "OK" counts at the start of any line, and only there.
    QTest::newRow("serial: OK behind the last line")
        << Listing{true, {"10 PRINT 1\r\n20 E", "ND\r\nOK\r\n"}, two, kListed};
    QTest::newRow("serial: OK over two pieces") << Listing{true, {"10 PRINT 1\r\n20 END\r\nO", "K\r\n"}, two, kListed};
    QTest::newRow("serial: a line start waits to be judged")
        << Listing{true, {"10 PRINT 1\r\n2"}, "10 PRINT 1\r\n", "LOAD DATA = 10 PRINT 1\r\n2\r\n", true};
    QTest::newRow("serial: five characters are judged at once")
        << Listing{true, {"10 PRINT 1\r\n20 EN"}, "10 PRINT 1\r\n20 EN", "LOAD DATA = 10 PRINT 1\r\n20 EN\r\n", true};
    QTest::newRow("serial: OK inside a line")
        << Listing{true, {"10 PRINT \"", "OK\"\r\n", "OK\r\n"}, "10 PRINT \"OK\"\r\n", kListed};
    QTest::newRow("serial: lines ending in CR alone")
        << Listing{true, {"10 PRINT 1\r20 END\r", "OK\r"}, "10 PRINT 1\r20 END\r", kListed};
    // A line start held back to be judged goes into the file when the capture ends without its OK.
    const QByteArray held = "10 PRINT 1\r\n2", shown = "LOAD DATA = " + held + "\r\n";
    QTest::newRow("serial: held back, Save Programm cancelled")
        << Listing{true, {held, "11:"}, held, shown, false, {kCancel, kKept}};
    QTest::newRow("serial: held back, Save Programm again")
        << Listing{true, {held, "11:other.bas"}, held, shown, true, {kKept}};
    QTest::newRow("serial: held back, a download starts")
        << Listing{true, {held, "10:prog.bas"}, held, kDone, false, {kKept}};
    QTest::newRow("serial: a short line judged whole")
        << Listing{true, {"10 A\r\n9\r\n", "OK\r\n"}, "10 A\r\n9\r\n", kListed};
    // Only datagrams carry the device's login prompts; they end the capture before any OK.
    QTest::newRow("datagram: Login") << Listing{
        false, {"10 A", "Login:"}, "10 A", "LOAD DATA = 10 A\r\nACCESS DENIED\r\n", false, {kKept}};
    QTest::newRow("datagram: Password before OK")
        << Listing{false, {"Password: OK"}, "", "ACCESS DENIED\r\n", false, {kNone}};
}

void TestProgram::listing()
{
    QFETCH(Listing, c);
    Harness h;
    UDP &w = h.udp;
    if (c.serial) {
        w.Form_Load();
        h.mscomm.setPortOpen(true);
    } else {
        h.startLinked();
    }
    std::optional<TestMount> disk;
    if (c.fullDisk && !disk.emplace(h.dir.filePath(QStringLiteral("small")), 64 * 1024).ok())
        QSKIP(qPrintable(disk->error()));
    const QString list = c.fullDisk ? QStringLiteral("small/list.bas") : QStringLiteral("list.bas");
    QVERIFY(h.writeFile(list, "stale"));
    QVERIFY(h.writeFile(QStringLiteral("prog.bas"), "10 A"));
    h.dialog.answer = list;
    w.Command11_Click();
    if (c.fullDisk)
        QVERIFY(fillDisk(h.dir.filePath(QStringLiteral("small"))));
    QCOMPARE(h.dialog.filter, QStringLiteral("BAS files (*.bas)|*.bas"));
    QCOMPARE(h.dialog.shown, QStringList{QStringLiteral("save")});
    QCOMPARE(h.system.slept, QList<int>{100});
    QCOMPARE(w.ProgSaveMode, qint16(1));
    // The serial command ("LISt") is checked with the serial send.
    QCOMPARE(h.winsock.written(), c.serial ? Bytes{} : Bytes{"LIST\r\n"});
    QCOMPARE(w.Pic.FillColor(), c.serial ? Colour::SendGreen : Colour::Yellow);
    for (const QByteArray &reply : c.replies)
        play(h, reply, c.serial ? 'S' : 'U');
    QCOMPARE(w.tbReceiveData.Text(), c.pane);
    QCOMPARE(w.ProgSaveMode, qint16(c.capturing));
    QCOMPARE(w.files.isOpen(w.ProgFileNum), c.capturing);
    QCOMPARE(w.ProgDownloadMode, qint16(0));
    if (!c.capturing)
        QCOMPARE(w.ProgFileNum, qint16(0));
    // The chosen file is replaced only by a whole listing; until then, and after any other end, the lines are kept
    // beside it, and a file beside it that would hold none goes.
    const QString partial = list.chopped(4) + QStringLiteral(".partial.bas");
    const bool complete = c.pane == kListed;
    QCOMPARE(h.file(list), complete ? c.file : QByteArray("stale"));
    QCOMPARE(QFile::exists(partial), !complete && (c.capturing || !c.file.isEmpty()));
    QCOMPARE(h.file(partial), complete ? QByteArray() : c.file);
    QCOMPARE(shownBoxes(h.boxes, c.boxes), c.boxes);
}

void TestProgram::exchanges_data()
{
    QTest::addColumn<Exchanges>("c");
    const QByteArray console = "LOAD DATA = 10 A\r\n\r\n20 B\r\nOK\r\n", two = "10 A\r\n20 B\r\n";
    // A listing that has captured "10 A" when something else happens, after a flash transfer that has ended.
    const auto listing = [](const QByteArray &between, const Bytes &before = {}) {
        return before + Bytes{"11:list.bas", "10 A\r\n", between, "20 B\r\n", "OK\r\n"};
    };
    // Cancelling either file dialog ends the capture: its file was closed, later replies are console text.
    QTest::newRow("Open File and  Download cancelled")
        << Exchanges{listing("10:"), "10 A\r\n", {}, console, {kCancel, kKept}};
    QTest::newRow("Save Programm cancelled") << Exchanges{listing("11:"), "10 A\r\n", {}, console, {kCancel, kKept}};
    // The lines an earlier listing left beside list.bas stay: the next listing goes into list.partial2.bas.
    QTest::newRow("a listing after one cancelled")
        << Exchanges{{"11:list.bas", "10 A\r\n", "11:", "11:list.bas", "20 B\r\n", "OK\r\n"},
                     "20 B\r\n10 A\r\n",
                     {},
                     {},
                     {kCancel, kKept}};
    // "End" closes only a flash transfer's file, never the listing's, whatever transfers came before.
    QTest::newRow("End") << Exchanges{
        listing("5", {"3:missing.txt", "3:abc.txt", "OK", "OK", "4:copy.bin", "414243ND"}),
        two,
        "ABC",
        kListed,
        {"Error#53"}};
    // Save Programm leaves a download under way as it is, whatever becomes of the listing.
    QTest::newRow("Save Programm twice during a download") << Exchanges{
        {"10:prog.bas", "11:list.bas", "11:list.bas", "11:", ">>"}, "", {}, kDone, {kNone, kCancel, kNone}};
    // A read under way outlives a cancelled program exchange, whatever exchanges came before it: d a download of
    // prog.bas, m a start from a missing file, c a cancelled Save Programm, l a finished listing.
    const QHash<char, Bytes> earlier{
        {'d', {"10:prog.bas"}}, {'m', {"10:none.bas"}}, {'c', {"11:"}}, {'l', {"11:list.bas", "10 A\r\n", "OK\r\n"}}};
    for (const char *before : {"d", "m", "c", "l", "dcl"}) {
        for (const char *button : {"10:", "11:"}) {
            Exchanges c{{}, QByteArray(before).contains('l') ? "10 A\r\n" : "", QByteArray(20, 'A') + "C"};
            for (const char exchange : QByteArray(before)) {
                c.steps += earlier[exchange];
                if (exchange == 'm' || exchange == 'c')
                    c.boxes << (exchange == 'm' ? QStringLiteral("Error#53") : kCancel);
            }
            c.steps += Bytes{"4:copy.bin", "OK\r\n", QByteArray("41").repeated(20), "OK\r\n", button, "43ND"};
            c.boxes << kCancel;
            QTest::addRow("%s, then %s cancelled", before, button) << c;
        }
    }
}

void TestProgram::exchanges()
{
    QFETCH(Exchanges, c);
    Harness h;
    h.startLinked();
    UDP &w = h.udp;
    h.writeFile(QStringLiteral("abc.txt"), "ABC");
    h.writeFile(QStringLiteral("prog.bas"), "10 A\n20 B");
    for (const QByteArray &step : c.steps)
        play(h, step, 'U');
    QCOMPARE(h.file(QStringLiteral("list.bas")) + h.file(QStringLiteral("list.partial.bas")), c.list);
    QCOMPARE(h.file(QStringLiteral("copy.bin")), c.copy);
    if (!c.pane.isNull())
        QCOMPARE(w.tbReceiveData.Text(), c.pane);
    QCOMPARE(shownBoxes(h.boxes, c.boxes), c.boxes);
    QCOMPARE(w.ProgSaveMode, qint16(0));
    QCOMPARE(w.ProgFileNum, qint16(0));
    QCOMPARE(h.winsock.written().count("LIST\r\n"), c.steps.count("11:list.bas"));
}

void TestProgram::clicks_data()
{
    QTest::addColumn<Click>("c");
    const QString cancel = QStringLiteral("cancel"), save = QStringLiteral("save"), open = QStringLiteral("open");
    // NEW and VER go out on whatever is open; a send on the serial port lights its indicator green.
    QTest::newRow("NEW, no link") << Click{"", &UDP::Command12_Click};
    QTest::newRow("VER, no link") << Click{"", &UDP::Command13_Click};
    QTest::newRow("VER over UDP") << Click{"udp", &UDP::Command13_Click, {}, {"VER\r\n"}};
    QTest::newRow("VER on the serial port") << Click{"serial", &UDP::Command13_Click, {}, {"VER\r\n"}, true};
    // With no link the file buttons do not even ask for a file.
    QTest::newRow("Save Programm, no link") << Click{"", &UDP::Command11_Click, QStringLiteral("list.bas")};
    QTest::newRow("Open File, no link") << Click{"", &UDP::Command10_Click, QStringLiteral("prog.bas")};
    QTest::newRow("Save Programm cancelled")
        << Click{"udp", &UDP::Command11_Click, cancel, {}, false, {save}, {kCancel}};
    QTest::newRow("Save Programm, no name") << Click{"udp", &UDP::Command11_Click, {}, {}, false, {save}, {kCancel}};
    QTest::newRow("Open File cancelled") << Click{"serial", &UDP::Command10_Click, cancel, {}, false, {open},
                                                  {kCancel}};
    QTest::newRow("Save Programm, file cannot be created")
        << Click{"udp", &UDP::Command11_Click, QStringLiteral("no/such/list.bas"), {}, false, {save}, {"Error#"}};
    QTest::newRow("Save Programm onto a FIFO")
        << Click{"udp", &UDP::Command11_Click, kFifo, {}, false, {save}, {kNotRegular}};
    QTest::newRow(">> with no download") << Click{"udp", &UDP::Command9_Click};
    // A command the open link refuses (station 300 in RTU framing) is told, and no listing waits for it.
    QTest::newRow("NEW refused") << Click{"rtu", &UDP::Command12_Click,          {}, {}, true,
                                          {},    {"Error#6: NEW cannot be sent"}};
    QTest::newRow("VER refused") << Click{"rtu", &UDP::Command13_Click,          {}, {}, true,
                                          {},    {"Error#6: VER cannot be sent"}};
    QTest::newRow("Save Programm refused") << Click{
        "rtu", &UDP::Command11_Click, QStringLiteral("refused.bas"), {}, true, {save}, {"Error#6: LIST cannot"}};
    // Another terminal transfers to the device: refused at once, before a file is asked for.
    const QString busy =
        QStringLiteral("Error#8010: the device is busy: another terminal (pid %1) is transferring to it")
            .arg(QCoreApplication::applicationPid());
    QTest::newRow("Save Programm, the device busy")
        << Click{"busy", &UDP::Command11_Click, QStringLiteral("list.bas"), {}, false, {}, {busy}};
    QTest::newRow("Open File, the device busy")
        << Click{"busy", &UDP::Command10_Click, QStringLiteral("prog.bas"), {}, false, {}, {busy}};
    QTest::newRow("NEW, the device busy") << Click{"busy", &UDP::Command12_Click, {}, {}, false, {}, {busy}};
}

void TestProgram::clicks()
{
    QFETCH(Click, c);
    Harness h;
    UDP &w = h.udp;
    w.Form_Load();
    if (c.link == "udp" || c.link == "busy")
        h.connect();
    DeviceLock other; // another terminal's, which meets this one in the working folder
    qint64 holder = 0;
    if (c.link == "busy")
        QVERIFY(other.take({}, "udp 127.0.0.1:111", &holder));
    h.mscomm.setPortOpen(c.link == "serial" || c.link == "rtu");
    w.Check1.setValue(c.link == "rtu");
    w.Text3.setText("300");
    h.writeFile(QStringLiteral("prog.bas"), "10 A\n");
    TestFifo fifo(h.dir.filePath(QStringLiteral("fifo.bas")));
    QVERIFY(fifo.ok());
    h.dialog.cancel = c.answer == QStringLiteral("cancel");
    h.dialog.answer = h.dialog.cancel ? QStringLiteral("list.bas") : c.answer;
    w.Command2.SetFocus();
    (w.*c.button)();
    QCOMPARE(h.winsock.written() + h.mscomm.written(), c.sent);
    QCOMPARE(w.Pic.FillColor(), c.green ? Colour::SendGreen : Colour::Yellow);
    QCOMPARE(h.dialog.shown, c.dialogs);
    QCOMPARE(shownBoxes(h.boxes, c.boxes), c.boxes);
    QCOMPARE(w.statusReason() == QStringLiteral("not connected: Connect or Open first"), c.link.isEmpty());
    QVERIFY(!QFile::exists(QStringLiteral("list.bas")));
    QVERIFY(!w.ProgSaveMode && !w.ProgDownloadMode && !w.files.isOpen(2));
    if (c.button != &UDP::Command9_Click)
        QCOMPARE(w.focus(), &w.tbSendData);
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
