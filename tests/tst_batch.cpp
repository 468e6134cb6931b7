// SPDX-License-Identifier: MIT
// The batch command as a script runs it: the real executable, against the simulated device on UDP and on a
// pseudo-terminal, running in this process.
#include "integration.h"
#include "serial/modbus.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace
{
/// A program as the device lists it back, so that a listing gives the file again.
const QByteArray kProgram = "10 PRINT 1\r\n20 PRINT 2\r\n30 END\r\n";
/// The simulated device rejects BASIC line 99.
constexpr int kRejectedLine = 99;

/// Each entry of `expected` is a key the report must hold with that value.
void compareJson(const QByteArray &out, const QByteArray &expected)
{
    const QJsonObject report = QJsonDocument::fromJson(out).object();
    const QJsonObject want = QJsonDocument::fromJson(expected).object();
    QVERIFY2(!report.isEmpty() && out.endsWith('\n') && out.count('\n') == 1, out.constData());
    for (auto it = want.begin(); it != want.end(); ++it)
        QVERIFY2(report.value(it.key()) == it.value(), qPrintable(it.key() + QStringLiteral(" in ") + out));
}
} // namespace

class TestBatch : public QObject
{
    Q_OBJECT
private slots:
    void run_data();
    void run();
};

void TestBatch::run_data()
{
    QTest::addColumn<QString>("link");            // the device: "udp", "pty", or none (the arguments name the link)
    QTest::addColumn<QList<QStringList>>("runs"); // the runs in order; all but the last must end with 0
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");      // stdout of the last run; a JSON object: the keys it must hold
    QTest::addColumn<QByteArray>("err");      // a part of its stderr
    QTest::addColumn<QStringList>("same");    // "a=b": files a and b hold the same bytes
    QTest::addColumn<QByteArray>("log");      // how "Terminal.log" ends, after its start lines; "-": there is none
    QTest::addColumn<QByteArray>("stopWhen"); // the device stops once stderr shows this

    const QByteArray ver = "VER 3.1 SIM\r\n", station = "MDC 16: VER 3.1 STATION\r\n";
    using Runs = QList<QStringList>;
    QTest::newRow("ver, UDP") << "udp" << Runs{{"ver"}} << 0 << ver << QByteArray() << QStringList() << ver
                              << QByteArray();
    QTest::newRow("ver, UDP, JSON without a log")
        << "udp" << Runs{{"--json", "--no-log", "ver"}} << 0
        << QByteArray(R"({"verb":"ver","exit":0,"result":"done","reply":"VER 3.1 SIM\r\n","error":null})")
        << QByteArray() << QStringList() << QByteArray("-") << QByteArray();
    QTest::newRow("ver, serial plain") << "pty" << Runs{{"ver"}} << 0 << ver << QByteArray() << QStringList() << ver
                                       << QByteArray();
    // The reply is the frame's data, as the window shows it; the log keeps the frame.
    QTest::newRow("ver, serial RTU") << "pty" << Runs{{"--rtu", "16", "ver"}} << 0 << ver << QByteArray()
                                     << QStringList() << Modbus::frame(16, 'C', ver) << QByteArray();
    QTest::newRow("ver, serial via USB") << "pty" << Runs{{"--via-usb", "16", "ver"}} << 0 << station << QByteArray()
                                         << QStringList() << station << QByteArray();
    // The typed lines are logged as typed, the replies as they came.
    QTest::newRow("send, UDP to a Modbus station")
        << "udp" << Runs{{"--mdc", "16", "send", "VER", "UART 2,7"}} << 0 << station + "MDC 16: OK\r\n"
        << QByteArray() << QStringList() << "VER\r\n" + station + "UART 2,7\r\nMDC 16: OK\r\n"
        << QByteArray();
    QTest::newRow("put, verified, and get")
        << "udp" << Runs{{"put", "--verify", "source.bin", "PUT.BIN"}, {"get", "PUT.BIN", "copy.bin"}} << 0
        << QByteArray() << QByteArray() << QStringList{"disk/PUT.BIN=source.bin", "copy.bin=source.bin"}
        << QByteArray("CLOSE\r\nOK\r\n") << QByteArray();
    QTest::newRow("download, list, new, list, UDP")
        << "udp" << Runs{{"download", "prog.bas"}, {"list", "back.bas"}, {"new"}, {"list", "empty.bas"}} << 0
        << QByteArray() << QByteArray() << QStringList{"back.bas=prog.bas", "empty.bas=empty"} << QByteArray()
        << QByteArray();
    QTest::newRow("download and list, serial RTU")
        << "pty" << Runs{{"--rtu", "16", "download", "prog.bas"}, {"--rtu", "16", "list", "back.bas"}} << 0
        << QByteArray() << QByteArray() << QStringList{"back.bas=prog.bas"} << QByteArray() << QByteArray();

    QTest::newRow("1: an unknown verb") << "udp" << Runs{{"frobnicate"}} << 1 << QByteArray()
                                        << QByteArray("unknown verb: frobnicate") << QStringList() << QByteArray("-")
                                        << QByteArray();
    QTest::newRow("2: a port that cannot be opened")
        << "" << Runs{{"--serial", "no-such-port", "ver"}} << 2 << QByteArray() << QByteArray("no-such-port")
        << QStringList() << QByteArray() << QByteArray();
    QTest::newRow("3: a download line rejected")
        << "udp" << Runs{{"download", "bad.bas"}} << 3 << QByteArray() << QByteArray("line 2 (99 GOTO 10)")
        << QStringList() << QByteArray("OK\r\nERROR line rejected\r\n") << QByteArray();
    // The local file keeps its old bytes, and no part of the new one is left beside it.
    QTest::newRow("4: the device stops during get")
        << "udp" << Runs{{"--timeout", "1", "get", "BIG.BIN", "keep.bin"}} << 4 << QByteArray()
        << QByteArray("no reply to READ") << QStringList{"keep.bin=old.bin"} << QByteArray()
        << QByteArray("get 102400 bytes");
    QTest::newRow("5: a folder as the local file")
        << "udp" << Runs{{"get", "DATA.BIN", "folder"}} << 5 << QByteArray() << QByteArray("Error#") << QStringList()
        << QByteArray() << QByteArray();
}

void TestBatch::run()
{
    QFETCH(QString, link);
    QFETCH(QList<QStringList>, runs);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QStringList, same);
    QFETCH(QByteArray, log);
    QFETCH(QByteArray, stopWhen);

    WorkDir work;
    const QByteArray source = randomBytes(3000);
    const QByteArray old = "the local file as it was\n";
    const std::pair<const char *, QByteArray> fixtures[] = {
        {"source.bin", source},
        {"disk/DATA.BIN", source},
        {"disk/BIG.BIN", randomBytes(1 << 20)},
        {"old.bin", old},
        {"keep.bin", old},
        {"prog.bas", kProgram},
        {"empty", {}},
        {"bad.bas", "10 PRINT 1\r\n99 GOTO 10\r\n30 END\r\n"},
    };
    QVERIFY(QDir().mkpath(QStringLiteral("disk")) && QDir().mkpath(QStringLiteral("folder")) &&
            QDir().mkpath(QStringLiteral("tmp")));
    for (const auto &[name, bytes] : fixtures)
        QVERIFY(work.writeFile(QString::fromLatin1(name), bytes));

    const DeviceConsole::Options console{
        .newDelayMs = 10, .diskFolder = work.dir.filePath(QStringLiteral("disk")), .errorLine = kRejectedLine};
    DeviceSim udp({.port = 0,
                   .newDelayMs = console.newDelayMs,
                   .diskFolder = console.diskFolder,
                   .errorLine = console.errorLine});
    PtyDeviceSim pty({.console = console});
    QString error;
    QStringList linkArgs;
    if (link == QLatin1String("udp")) {
        QVERIFY2(udp.start(&error), qPrintable(error));
        linkArgs = QStringList{QStringLiteral("--host"), QStringLiteral("127.0.0.1:%1").arg(udp.port())};
    } else if (link == QLatin1String("pty")) {
        if (!pty.start(&error))
            QSKIP(qPrintable("no pseudo-terminal: " + error));
        linkArgs = QStringList{QStringLiteral("--serial"), pty.path()};
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), work.dir.filePath(QStringLiteral("tmp")));
    QByteArray stdOut, stdErr;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        QProcess vantrel;
        vantrel.setProcessEnvironment(environment);
        vantrel.setWorkingDirectory(work.dir.path());
        // A busy machine may be slow to answer; the row about a silent device sets its own timeout.
        const QStringList patience{QStringLiteral("--quiet-ms"), QStringLiteral("3000"), QStringLiteral("--timeout"),
                                   runs[i].contains(QStringLiteral("--timeout")) ? QStringLiteral("1")
                                                                                 : QStringLiteral("120")};
        vantrel.start(QStringLiteral(VANTREL_BATCH), patience + linkArgs + runs[i]);
        stdOut.clear();
        stdErr.clear();
        // The device runs on this thread: the event loop turns while the command runs.
        QVERIFY(waitUntil(
            [&] {
                stdOut += vantrel.readAllStandardOutput();
                stdErr += vantrel.readAllStandardError();
                if (!stopWhen.isEmpty() && stdErr.contains(stopWhen) && udp.port())
                    udp.stop();
                return vantrel.state() == QProcess::NotRunning;
            },
            kPatienceMs));
        stdOut += vantrel.readAllStandardOutput();
        stdErr += vantrel.readAllStandardError();
        QCOMPARE(vantrel.exitStatus(), QProcess::NormalExit);
        QVERIFY2(vantrel.exitCode() == (i + 1 < runs.size() ? 0 : exitCode), stdErr.constData());
    }
    if (out.startsWith('{'))
        compareJson(stdOut, out);
    else
        QCOMPARE(stdOut, out);
    QVERIFY2(stdErr.contains(err), stdErr.constData());
    for (const QString &pair : same) {
        const QString a = pair.section(QLatin1Char('='), 0, 0), b = pair.section(QLatin1Char('='), 1);
        QVERIFY2(QFile::exists(a), qPrintable(a));
        QCOMPARE(work.file(a), work.file(b));
    }
    const QByteArray terminalLog = work.file(QStringLiteral("Terminal.log"));
    if (log == "-") {
        QVERIFY(!QFile::exists(QStringLiteral("Terminal.log")));
    } else {
        QVERIFY2(terminalLog.startsWith("START Vantrel V3.0\r\n"), terminalLog.left(100).constData());
        QVERIFY2(terminalLog.endsWith(log), terminalLog.right(200).constData());
    }
    // No half-written local file, private folder or read-back copy is left behind.
    QCOMPARE(QDir().entryList({QStringLiteral("*.bin.*"), QStringLiteral("*.bas.*")}, QDir::Files), QStringList());
    QCOMPARE(QDir(QStringLiteral("tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
