// SPDX-License-Identifier: MIT
// Owns the batch command and the round trips: the executable against the simulated device, on UDP and a pty.
#include "devicesim.h"
#include "harness.h"
#include "mounts.h"
#include "ptydevicesim.h"
#include "serial/modbus.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <optional>

#ifdef Q_OS_UNIX
#include <signal.h>
#endif

namespace
{
/// A program as the device lists it back, so that a listing gives the file again. Line 20 is longer than an RTU frame
/// holds: listed in frames it comes in two, and the second starts with "OK" without being the end.
const QByteArray kProgram =
    "10 PRINT 1\r\n20 REM " + QByteArray(248, 'x') + "OK" + QByteArray(100, 'y') + "\r\n30 END\r\n";

/// big.bin: long enough that a second run starts while the first still sends it. Under Wine, where both ends of the
/// transfer run, a megabyte takes minutes on a busy machine; a quarter of one lasts long enough there and on Windows.
#ifdef Q_OS_WIN
constexpr qsizetype kLongTransferBytes = 256 << 10;
#else
constexpr qsizetype kLongTransferBytes = 1 << 20;
#endif

/// The runs of one row in order against the device, what the last one gives, and what is left afterwards.
struct Batch {
    QString link; // the device: "udp", "udp6" (on the IPv6 loopback), "pty", "pty-link" (reached through the
                  // simulator's --link), "silent" (a UDP port that never answers), or "none" (the runs name it)
    QString runs; // the arguments of each run, the runs split by " | "; all but the last must end with 0
    int exitCode = 0;
    QByteArray out{};       // stdout of the last run; a JSON object: the keys it must hold
    QByteArray err{};       // a part of its stderr
    QString same{};         // "a=b c=d": files a and b, c and d, hold the same bytes
    QByteArray log{};       // how the log ends, after its start lines; "-": there is none
    QByteArray stopWhen{};  // the device stops once stderr shows this
    int refuseAfter = -1;   // the device refuses the WRITE or READ after this many blocks
    QString first{};        // a run started before the others, which start once its stderr shows firstWhen; it
    QByteArray firstWhen{}; // must end with 0 after them, unless it is killed then
    bool killFirst = false;
    int signal = 0; // sent to the last run once its stderr shows signalWhen
    QByteArray signalWhen{};
    QString logName = QStringLiteral("Terminal.log");
    QByteArray restartWhen{}; // the device goes and comes back, once, when stdout shows this
    bool login = false;       // the device asks each new sender to log in first
    bool fullDisk = false;    // "full" is a file system with no room left
};

/// Each entry of `expected` is a key the report must hold with that value; an object, the keys it must hold.
void compareJson(const QByteArray &out, const QByteArray &expected)
{
    const QJsonObject report = QJsonDocument::fromJson(out).object();
    const QJsonObject want = QJsonDocument::fromJson(expected).object();
    QVERIFY2(!report.isEmpty() && out.endsWith('\n') && out.count('\n') == 1, out.constData());
    for (auto it = want.begin(); it != want.end(); ++it) {
        const QJsonObject part = it.value().toObject();
        for (auto key = part.begin(); key != part.end(); ++key)
            QVERIFY2(report.value(it.key())[key.key()] == key.value(),
                     qPrintable(it.key() + QStringLiteral(" in ") + out));
        QVERIFY2(it.value().isObject() || report.value(it.key()) == it.value(),
                 qPrintable(it.key() + QStringLiteral(" in ") + out));
    }
}
} // namespace
Q_DECLARE_METATYPE(Batch)

class TestBatch : public QObject
{
    Q_OBJECT
private slots:
    void usage_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says"); // on stdout with 0, else on stderr
        QTest::newRow("--help-all") << "--help-all" << 0 << "Exit status:";
        QTest::newRow("a port of 0") << "--host 10.0.0.7:0 ver" << 1 << "--host: not a port from 1 to 65535: 0";
        QTest::newRow("a port over 65535") << "--host 10.0.0.7:65536 ver" << 1 << "not a port from 1 to 65535";
        QTest::newRow("--mdc over 255") << "--host 10.0.0.7 --mdc 256 ver" << 1 << "--mdc: a station from 0 to 255";
        QTest::newRow("--via-usb below 0") << "--serial COM1 --via-usb -1 ver" << 1 << "--via-usb: a station";
        QTest::newRow("--via-usb not a number") << "--serial COM1 --via-usb x ver" << 1 << "--via-usb: a station";
        QTest::newRow("a second --mdc") << "--host 10.0.0.7 --mdc 1 --mdc 2 ver" << 1 << "--mdc is given more";
        QTest::newRow("--log and --no-log") << "--host 10.0.0.7 --log a.log --no-log ver" << 1 << "give one of";
        // Several devices: a mistake in any of them is told before any device is touched.
        QTest::newRow("a device given twice") << "--host 10.0.0.7 --host 10.0.0.7 ver" << 1 << "is given twice";
        QTest::newRow("a bad port among several")
            << "--host 10.0.0.7 --host 10.0.0.8:0 ver" << 1 << "--host (10.0.0.8:0): --host: not a port";
        QTest::newRow("-j 0") << "--host 10.0.0.7 --host 10.0.0.8 -j 0 ver" << 1 << "-j: a number from 1";
        QTest::newRow("--log with several devices")
            << "--host 10.0.0.7 --serial COM1 --log a.log ver" << 1 << "give several devices --log-dir";
        QTest::newRow("--check with ver, station 0 taken")
            << "--host 10.0.0.7 --mdc 0 --check ver" << 1 << "--check goes with the verbs";
    }
    void usage()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QProcess vantrel;
        vantrel.start(builtProgram(VANTREL_BATCH), QProcess::splitCommand(arguments));
        QVERIFY(vantrel.waitForFinished(kPatienceMs));
        QCOMPARE(vantrel.exitCode(), exitCode);
        const QString out =
            QString::fromLocal8Bit(exitCode == 0 ? vantrel.readAllStandardOutput() : vantrel.readAllStandardError());
        QVERIFY2(out.contains(says), qPrintable(out));
    }

    void run_data()
    {
        QTest::addColumn<Batch>("c");
        const QByteArray ver = "VER 3.1 SIM\r\n", station = "MDC 16: VER 3.1 STATION\r\n";
        const QByteArray refused = "ERROR simulated failure\r\nCLOSE\r\nOK\r\n";
        QTest::newRow("ver, UDP") << Batch{.link = "udp", .runs = "ver", .out = ver, .log = ver};
        QTest::newRow("ver, UDP over IPv6") << Batch{.link = "udp6", .runs = "ver", .out = ver, .log = ver};
        QTest::newRow("ver, UDP, JSON without a log")
            << Batch{.link = "udp",
                     .runs = "--json --no-log ver",
                     .out = R"({"verb":"ver","exit":0,"result":"done","reply":"VER 3.1 SIM\r\n","error":null})",
                     .log = "-"};
        QTest::newRow("ver, serial plain") << Batch{.link = "pty", .runs = "ver", .out = ver, .log = ver};
        // The reply is the frame's data, as the window shows it; the log keeps the frame.
        QTest::newRow("ver, serial RTU") << Batch{
            .link = "pty", .runs = "--rtu 16 ver", .out = ver, .log = Modbus::frame(16, 'C', ver)};
        QTest::newRow("ver, serial via USB")
            << Batch{.link = "pty", .runs = "--via-usb 16 ver", .out = station, .log = station};
        // The typed lines are logged as typed, never wrapped, the replies as they came.
        QTest::newRow("send, UDP to a Modbus station")
            << Batch{.link = "udp",
                     .runs = "--mdc 16 send VER \"UART 2,7\"",
                     .out = station + "MDC 16: OK\r\n",
                     .log = "VER\r\n" + station + "UART 2,7\r\nMDC 16: OK\r\n"};
        // 3,004 bytes of every value: the last block of a write holds one byte, that of a read four.
        QTest::newRow("put, verified, and get")
            << Batch{.link = "udp",
                     .runs = "put --verify source.bin PUT.BIN | get PUT.BIN copy.bin",
                     .same = "disk/PUT.BIN=source.bin copy.bin=source.bin",
                     .log = "CLOSE\r\nOK\r\n"};
        QTest::newRow("download, list, new, list, UDP")
            << Batch{.link = "udp",
                     .runs = "download prog.bas | list back.bas | new | list empty.bas",
                     .same = "back.bas=prog.bas empty.bas=empty"};
        QTest::newRow("download and list, serial, in lines and in RTU frames") << Batch{
            .link = "pty",
            .runs = "download prog.bas | --rtu 16 list back.bas | new | --rtu 16 download short.bas | list plain.bas",
            .same = "back.bas=prog.bas plain.bas=short.bas"};

        // Saved commands go out as typed lines do; a name two lists hold is named with its list.
        QTest::newRow("send saved commands, serial via USB")
            << Batch{.link = "pty",
                     .runs = "--via-usb 16 send --list commands.txt Device/Version Modbus",
                     .out = station + "MDC 16: OK\r\n",
                     .log = "VER\r\n" + station + "UART 2,7\r\nMDC 16: OK\r\n"};
        QTest::newRow("1: a saved command two lists hold")
            << Batch{.link = "udp",
                     .runs = "send --list commands.txt Version",
                     .exitCode = 1,
                     .err = "the lists Device, Setup each hold a command Version: give LIST/Version"};
        // The device goes away after its first reply and comes back under the same path; the second VER waits for it.
        QTest::newRow("send, the device back in between") << Batch{.link = "pty-link",
                                                                   .runs = "--wait-for-device 100 send VER VER",
                                                                   .out = ver + ver,
                                                                   .log = ver + "VER\r\n" + ver,
                                                                   .restartWhen = ver};
        QTest::newRow("1: an unknown verb")
            << Batch{.link = "udp", .runs = "frobnicate", .exitCode = 1, .err = "unknown verb: frobnicate", .log = "-"};
        QTest::newRow("2: a port that cannot be opened")
            << Batch{.link = "none", .runs = "--serial no-such-port ver", .exitCode = 2, .err = "no-such-port"};
        QTest::newRow("3: a download line rejected")
            << Batch{.link = "udp",
                     .runs = "--json download bad.bas",
                     .exitCode = 3,
                     .out = R"({"exit":3,"changed":true,"rejected":{"line":2,"text":"99 GOTO 10"},"failure":null})",
                     .err = "line 2 (99 GOTO 10)",
                     .log = "OK\r\nERROR line rejected\r\n"};
        // The device keeps what came before its refusal; the local file keeps its old bytes, and no part of the new one
        // is left beside it.
        QTest::newRow("3: the device refuses a write") << Batch{.link = "udp",
                                                                .runs = "put source.bin PUT.BIN",
                                                                .exitCode = 3,
                                                                .err = "refused WRITE",
                                                                .same = "disk/PUT.BIN=head.bin",
                                                                .log = refused,
                                                                .refuseAfter = 3};
        QTest::newRow("3: the device refuses a read") << Batch{.link = "udp",
                                                               .runs = "get DATA.BIN keep.bin",
                                                               .exitCode = 3,
                                                               .err = "refused READ",
                                                               .same = "keep.bin=old.bin",
                                                               .log = refused,
                                                               .refuseAfter = 3};
        QTest::newRow("4: the device stops during get") << Batch{.link = "udp",
                                                                 .runs = "--timeout 1 get BIG.BIN keep.bin",
                                                                 .exitCode = 4,
                                                                 .err = "no reply to READ",
                                                                 .same = "keep.bin=old.bin",
                                                                 .stopWhen = "get 102400 bytes"};
        QTest::newRow("5: a folder as the local file")
            << Batch{.link = "udp",
                     .runs = "--json get DATA.BIN folder",
                     .exitCode = 5,
                     .out = R"({"failure":{"number":75},"device_file":"DATA.BIN"})",
                     .err = "Error#75"};
        // A name the file system cannot hold, in a folder that is there, is no missing file.
        QTest::newRow("5: a local name too long") << Batch{.link = "udp",
                                                           .runs = "--json list " + QString(300, QLatin1Char('x')),
                                                           .exitCode = 5,
                                                           .out = R"({"failure":{"number":75}})"};
        // The run went well, but its trace is lost: that is told, and is no success.
        QTest::newRow("5: a trace the disk has no room for") << Batch{.link = "udp",
                                                                      .runs = "--trace full/trace.jsonl ver",
                                                                      .exitCode = 5,
                                                                      .out = ver,
                                                                      .err = "--trace: cannot write",
                                                                      .log = ver,
                                                                      .fullDisk = true};
        // A run that failed says why, and that its trace is lost as well.
        QTest::newRow("2: a silent device, traced to a full disk")
            << Batch{.link = "silent",
                     .runs = "--timeout 1 --trace full/trace.jsonl ver",
                     .exitCode = 2,
                     .err = "nor anything else from the device: unreachable",
                     .fullDisk = true};
        // A local file to put that is not there: nothing goes to the device, not even the End of a transfer.
        QTest::newRow("5: put of a missing file") << Batch{.link = "udp",
                                                           .runs = "--json put missing.bin",
                                                           .exitCode = 5,
                                                           .out = R"({"exit":5,"bytes_sent":0,"bytes_received":0})"};
        // A listing that never ends leaves the file it was to replace as it was. A device that sent nothing at all is
        // out of reach.
        QTest::newRow("2: a silent device during list") << Batch{.link = "silent",
                                                                 .runs = "--timeout 1 list keep.bas",
                                                                 .exitCode = 2,
                                                                 .err = "keep.bas is left as it was",
                                                                 .same = "keep.bas=old.bin"};
        // A device that asks for a login takes no program line: the download ends at the prompt and says why.
        QTest::newRow("3: download to a device that asks for a login") << Batch{.link = "udp",
                                                                                .runs = "download prog.bas",
                                                                                .exitCode = 3,
                                                                                .err = "the device asks for a login",
                                                                                .login = true};
        // One transfer to a device at a time: a second terminal is refused at once and the first is unharmed.
        QTest::newRow("2: a second put while one runs") << Batch{.link = "udp",
                                                                 .runs = "put source.bin BIG.BIN",
                                                                 .exitCode = 2,
                                                                 .err = "the device is busy: another terminal (pid ",
                                                                 .same = "disk/BIG.BIN=big.bin",
                                                                 .first = "put big.bin BIG.BIN",
                                                                 .firstWhen = "put 10%"};
        // A terminal killed during its transfer leaves its lock, which the next one takes over.
        QTest::newRow("a stale lock taken over") << Batch{.link = "udp",
                                                          .runs = "put source.bin PUT.BIN",
                                                          .same = "disk/PUT.BIN=source.bin",
                                                          .first = "put big.bin BIG.BIN",
                                                          .firstWhen = "put 10%",
                                                          .killFirst = true};
#ifdef SIGHUP
        // A hang-up ends a transfer as an interruption does: the device's file is closed.
        QTest::newRow("129: hung up during put") << Batch{.link = "udp",
                                                          .runs = "put big.bin BIG.BIN",
                                                          .exitCode = 129,
                                                          .err = "hung up",
                                                          .log = "CLOSE\r\n",
                                                          .signal = SIGHUP,
                                                          .signalWhen = "put 10%"};
#endif
        // A log of the run's own, in a folder made for it.
        QTest::newRow("--log") << Batch{
            .link = "udp", .runs = "--log logs/device.log ver", .out = ver, .log = ver, .logName = "logs/device.log"};
    }
    void run()
    {
        QFETCH(Batch, c);
        WorkDir work;
        const QByteArray source = randomBytes(3004), old = "the local file as it was\n";
        const std::pair<const char *, QByteArray> fixtures[] = {
            {"source.bin", source},
            {"head.bin", source.first(3 * 21)},
            {"disk/DATA.BIN", source},
            {"disk/BIG.BIN", randomBytes(1 << 20)},
            {"old.bin", old},
            {"keep.bin", old},
            {"prog.bas", kProgram},
            {"short.bas", "10 PRINT 1\r\n30 END\r\n"},
            {"empty", {}},
            {"bad.bas", "10 PRINT 1\r\n99 GOTO 10\r\n30 END\r\n"},
            {"keep.bas", old},
            {"big.bin", randomBytes(kLongTransferBytes)},
            {"commands.txt", "vantrel-commands 1\r\nlist: Device\r\ncommand: Version\r\ntext: VER\r\nlist: Setup\r\n"
                             "command: Modbus\r\ntext: UART 2,7\r\ncommand: Version\r\ntext: VER\r\n"},
        };
        QVERIFY(QDir().mkpath(QStringLiteral("disk")) && QDir().mkpath(QStringLiteral("folder")) &&
                QDir().mkpath(QStringLiteral("tmp")));
        for (const auto &[name, bytes] : fixtures)
            QVERIFY(work.writeFile(QString::fromLatin1(name), bytes));
        std::optional<TestMount> disk;
        if (c.fullDisk && !disk.emplace(work.dir.filePath(QStringLiteral("full")), 4096).ok())
            QSKIP(qPrintable(disk->error()));
        QVERIFY(!disk || fillDisk(work.dir.filePath(QStringLiteral("full"))));

        // The simulated device rejects BASIC line 99.
        const DeviceConsole::Options console{.newDelayMs = 10,
                                             .diskFolder = work.dir.filePath(QStringLiteral("disk")),
                                             .errorAfterBlocks = c.refuseAfter,
                                             .errorLine = 99};
        DeviceSim udp({.address = c.link == "udp6" ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost,
                       .port = 0,
                       .newDelayMs = console.newDelayMs,
                       .login = c.login,
                       .diskFolder = console.diskFolder,
                       .errorAfterBlocks = console.errorAfterBlocks,
                       .errorLine = console.errorLine});
        const QString link = c.link == "pty-link" ? work.dir.filePath(QStringLiteral("ttyDEVICE")) : QString();
        PtyDeviceSim pty({.console = console, .link = link});
        QUdpSocket silent;
        QString error;
        QStringList linkArgs;
        if (c.link == QLatin1String("silent")) {
            QVERIFY(silent.bind(QHostAddress::LocalHost, 0));
            linkArgs = QStringList{QStringLiteral("--host"), QStringLiteral("127.0.0.1:%1").arg(silent.localPort())};
        } else if (c.link.startsWith(QLatin1String("udp"))) {
            if (!udp.start(&error) && c.link == "udp6")
                QSKIP(qPrintable("no IPv6 loopback here: " + error));
            QVERIFY2(udp.port(), qPrintable(error));
            const QString host = c.link == "udp6" ? QStringLiteral("[::1]") : QStringLiteral("127.0.0.1");
            linkArgs = QStringList{QStringLiteral("--host"), host + QLatin1Char(':') + QString::number(udp.port())};
        } else if (c.link.startsWith(QLatin1String("pty"))) {
            if (!pty.start(&error))
                QSKIP(qPrintable("no pseudo-terminal: " + error));
            linkArgs = QStringList{QStringLiteral("--serial"), link.isEmpty() ? pty.path() : link};
        }
        bool restarted = false;

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The private folder of --no-log goes there (TMP and TEMP on Windows).
        for (const char *name : {"TMPDIR", "TMP", "TEMP"})
            environment.insert(QLatin1String(name), work.dir.filePath(QStringLiteral("tmp")));
        // The runs of a row meet in a runtime folder of their own, as the terminals of one user do.
        environment.insert(QStringLiteral("VANTREL_RUNTIME_DIR"), work.dir.filePath(QStringLiteral("run")));
        const auto start = [&](QProcess &vantrel, const QString &run) {
            const QStringList arguments = QProcess::splitCommand(run);
            vantrel.setProcessEnvironment(environment);
            vantrel.setWorkingDirectory(work.dir.path());
            // A busy machine may be slow to answer; the row about a silent device sets its own timeout.
            const QStringList patience{
                QStringLiteral("--quiet-ms"), QStringLiteral("3000"), QStringLiteral("--timeout"),
                arguments.contains(QStringLiteral("--timeout")) ? QStringLiteral("1") : QStringLiteral("120")};
            vantrel.start(builtProgram(VANTREL_BATCH), patience + linkArgs + arguments);
        };
        // The device runs on this thread: the event loop turns while a command runs, until `done` holds.
        QByteArray stdOut, stdErr, firstErr;
        QProcess first;
        const auto pump = [&](const std::function<bool()> &done) {
            for (const QDeadlineTimer deadline(kPatienceMs); !done();) {
                if (deadline.hasExpired())
                    return false;
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
                if (first.isOpen())
                    firstErr += first.readAllStandardError();
            }
            return true;
        };
        const auto ended = [](const QProcess &process) { return process.state() == QProcess::NotRunning; };
        if (!c.first.isEmpty()) {
            start(first, c.first);
            QVERIFY(pump([&] { return firstErr.contains(c.firstWhen) || ended(first); }));
            QVERIFY2(!ended(first), firstErr.constData());
            if (c.killFirst) {
                first.kill();
                QVERIFY(pump([&] { return ended(first); }));
            }
        }
        const QStringList runs = c.runs.split(QStringLiteral(" | "));
        for (qsizetype i = 0; i < runs.size(); ++i) {
            QProcess vantrel;
            start(vantrel, runs[i]);
            stdOut.clear();
            stdErr.clear();
#ifdef Q_OS_UNIX
            bool signalled = false;
#endif
            const bool finished = pump([&] {
                stdOut += vantrel.readAllStandardOutput();
                stdErr += vantrel.readAllStandardError();
                if (!c.stopWhen.isEmpty() && stdErr.contains(c.stopWhen) && udp.port())
                    udp.stop();
                if (!c.restartWhen.isEmpty() && stdOut.contains(c.restartWhen) && !std::exchange(restarted, true)) {
                    pty.stop();
                    if (!pty.start(&error))
                        return true; // told below
                }
#ifdef Q_OS_UNIX
                if (c.signal && !signalled && stdErr.contains(c.signalWhen))
                    signalled = ::kill(pid_t(vantrel.processId()), c.signal) == 0;
#endif
                return ended(vantrel);
            });
            QVERIFY2(finished, stdErr.constData());
            QVERIFY2(!restarted || !pty.path().isEmpty(), qPrintable(error));
            stdOut += vantrel.readAllStandardOutput();
            stdErr += vantrel.readAllStandardError();
            QCOMPARE(vantrel.exitStatus(), QProcess::NormalExit);
            QVERIFY2(vantrel.exitCode() == (i + 1 < runs.size() ? 0 : c.exitCode), stdErr.constData());
        }
        if (!c.first.isEmpty() && !c.killFirst) {
            QVERIFY2(pump([&] { return ended(first); }), firstErr.constData());
            QVERIFY2(first.exitStatus() == QProcess::NormalExit && first.exitCode() == 0, firstErr.constData());
        }
        if (c.out.startsWith('{'))
            compareJson(stdOut, c.out);
        else
            QCOMPARE(stdOut, c.out);
        QVERIFY2(stdErr.contains(c.err), stdErr.constData());
        for (const QString &pair : c.same.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString a = pair.section(QLatin1Char('='), 0, 0), b = pair.section(QLatin1Char('='), 1);
            QVERIFY2(QFile::exists(a), qPrintable(a));
            QCOMPARE(work.file(a), work.file(b));
        }
        const QByteArray terminalLog = work.file(c.logName);
        if (c.logName != QLatin1String("Terminal.log"))
            QVERIFY(!QFile::exists(QStringLiteral("Terminal.log")));
        if (c.log == "-") {
            QVERIFY(!QFile::exists(QStringLiteral("Terminal.log")));
        } else if (c.first.isEmpty()) { // a run beside the others logs into the same file
            // Each run appends its start to what the runs before it logged.
            QVERIFY2(terminalLog.startsWith("START Vantrel V3.0\r\n") &&
                         terminalLog.count("START Vantrel V3.0\r\n") == runs.size(),
                     terminalLog.left(100).constData());
            QVERIFY2(terminalLog.endsWith(c.log), terminalLog.right(200).constData());
        }
        // No half-written local file, private folder or read-back copy is left behind.
        QCOMPARE(QDir().entryList({QStringLiteral("*.bin.*"), QStringLiteral("*.bas.*")}, QDir::Files), QStringList());
        QCOMPARE(QDir(QStringLiteral("tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
