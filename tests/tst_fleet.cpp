// SPDX-License-Identifier: MIT
// Owns vantrel over many devices at once, its retries, the verbs that change a device only when it needs it, and the
// Ansible playbook that drives them: the executable against several simulated devices at once, on UDP and a pty.
#include "devicesim.h"
#include "harness.h"
#include "ptydevicesim.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <map>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <signal.h>
#endif

namespace
{
/// A program as the device lists it back, and the same program with other line ends, trailing blanks, leading zeros
/// and a blank line, which the device stores alike.
const QByteArray kProgram = "10 PRINT 1\r\n20 GOTO 10\r\n30 END\r\n";
const QByteArray kVariant = "0010 PRINT 1  \r20 GOTO 10\t\n\n30 END";

/// The runs of one row in order against its devices, what each gives, and what is left afterwards.
struct Fleet {
    QString devices; // the simulated devices, in the host list's order: "udp", "pty", "stopped" (a UDP port nobody
                     // answers on any more), "drop5" (UDP, its fifth reply line lost)
    QString runs;    // each run's arguments, " | " between runs: {hosts} is a host list of the devices, {0}, {1}...
                     // the link of one of them; all runs but the last end with 0
    int exitCode = 0;
    QStringList reports{}; // per run, a JSON array: what each device's report must hold, in the host list's order;
                           // empty: not looked at
    QByteArray err{};      // a part of one run's stderr (the fleet's summary line, a message)
    QString same{};        // "a=b c=d": files a and b, c and d, hold the same bytes ("disk0/" is device 0's disk)
    QString files{};       // files that must be there; "!name": that must not
    QByteArrayList logs{}; // how each device's own log ends, in the host list's order
    QString env{};         // "NAME=value ...", {0} standing for device 0's address
    int signal = 0;        // sent to the last run once every file of signalWhen holds bytes
    QString signalWhen{};
};

/// `want` holds in `have`: each key of an object with what it holds, the first elements of an array, a value as it
/// is. `where` says where a difference is.
bool holds(const QJsonValue &have, const QJsonValue &want, QString &where)
{
    if (want.isObject()) {
        const QJsonObject h = have.toObject(), w = want.toObject();
        for (auto it = w.begin(); it != w.end(); ++it) {
            if (holds(h.value(it.key()), it.value(), where))
                continue;
            where.prepend(QLatin1Char('.') + it.key());
            return false;
        }
        return true;
    }
    if (want.isArray()) {
        const QJsonArray h = have.toArray(), w = want.toArray();
        for (qsizetype i = 0; i < w.size(); ++i) {
            if (i < h.size() && holds(h.at(i), w.at(i), where))
                continue;
            where.prepend(QStringLiteral("[%1]").arg(i));
            return false;
        }
        return true;
    }
    where = QStringLiteral(" is %1").arg(QString::fromUtf8(QJsonDocument(QJsonArray{have}).toJson()));
    return have == want;
}

/// Turns the event loop, where the simulated devices run, until the process ends; `each` runs at every turn.
bool ended(
    QProcess &process, const std::function<void()> &each = [] {})
{
    for (const QDeadlineTimer deadline(kPatienceMs); process.state() != QProcess::NotRunning; each()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

/// A device of a row: a simulator of its own, with its flash disk in its own folder.
struct Device {
    std::unique_ptr<DeviceSim> udp;
    std::unique_ptr<PtyDeviceSim> pty;
    QString entry; // as a host list names it
};
} // namespace
Q_DECLARE_METATYPE(Fleet)

class TestFleet : public QObject
{
    Q_OBJECT
private slots:
    void run_data()
    {
        QTest::addColumn<Fleet>("c");
        const QByteArray ver = "VER 3.1 SIM\r\n";
        QTest::newRow("a host list with one device stopped")
            << Fleet{.devices = "udp pty stopped",
                     .runs = "--json --timeout 2 --hosts {hosts} ver",
                     .exitCode = 2,
                     .reports = {R"([{"exit":0,"reply_lines":["VER 3.1 SIM"]},{"exit":0,"reply_lines":["VER 3.1 SIM"]},
                                    {"exit":2,"result":"link","changed":false}])"},
                     .err = "ok=2 changed=0 failed=0 unreachable=1",
                     .logs = {ver, ver, ""}};
        // The fifth reply is the device's OK to the fourth block: the whole put starts again, from OPENWR.
        QTest::newRow("a retry after a lost reply")
            << Fleet{.devices = "drop5",
                     .runs = "--json --timeout 1 --retries 2 {0} put source.bin PUT.BIN",
                     .reports = {R"([{"exit":0,"changed":true,"payload_bytes":3004,"device_file":"PUT.BIN",
                                     "tries":[{"exit":4,"result":"no reply"}]}])"},
                     .same = "disk0/PUT.BIN=source.bin"};
        QTest::newRow("ensure-program twice: changed, then nothing to change")
            << Fleet{.devices = "udp pty",
                     .runs = "--json --hosts {hosts} ensure-program prog.bas | --json --hosts {hosts} ensure-program "
                             "variant.bas | {0} list back0.bas | {1} list back1.bas",
                     .reports = {R"([{"exit":0,"changed":true},{"exit":0,"changed":true}])",
                                 R"([{"exit":0,"changed":false,"payload_bytes":0},{"exit":0,"changed":false}])"},
                     .err = "ok=2 changed=2 failed=0 unreachable=0",
                     .same = "back0.bas=prog.bas back1.bas=prog.bas"};
        QTest::newRow("--check changes nothing")
            << Fleet{.devices = "udp",
                     .runs = "{0} download prog.bas | --json --check {0} ensure-program other.bas | --json --check {0} "
                             "new | --json --check {0} put source.bin PUT.BIN | {0} list back.bas",
                     .reports = {"", R"([{"changed":true,"check":true}])", R"([{"changed":true,"check":true}])",
                                 R"([{"changed":true,"check":true,"reply_lines":["VER 3.1 SIM"]}])"},
                     .same = "back.bas=prog.bas",
                     .files = "!disk0/PUT.BIN"};
        QTest::newRow("put --if-different")
            << Fleet{.devices = "udp",
                     .runs = "--json {0} put --if-different source.bin PUT.BIN | --json {0} put --if-different "
                             "source.bin PUT.BIN | --json {0} put --if-different other.bin PUT.BIN",
                     .reports = {R"([{"changed":true}])", R"([{"changed":false}])", R"([{"changed":true}])"},
                     .same = "disk0/PUT.BIN=other.bin"};
        // The device, the timeout and the log's folder from the environment, when no option gives them.
        QTest::newRow("VANTREL_HOST, VANTREL_TIMEOUT, VANTREL_WORKDIR")
            << Fleet{.devices = "stopped",
                     .runs = "--json ver",
                     .exitCode = 2,
                     .reports = {R"([{"exit":2,"result":"link"}])"},
                     .err = "within 0.5 s",
                     .files = "logs/Terminal.log",
                     .env = "VANTREL_HOST={0} VANTREL_TIMEOUT=0.5 VANTREL_WORKDIR=logs"};
#ifdef Q_OS_UNIX
        // A signal to the run of the fleet alone reaches every device's run: each transfer ends with CLOSE.
        QTest::newRow("130: an interruption ends every device's transfer")
            << Fleet{.devices = "udp udp",
                     .runs = "--json --hosts {hosts} put big.bin BIG.BIN",
                     .exitCode = 130,
                     .reports = {R"([{"exit":130,"changed":true},{"exit":130,"changed":true}])"},
                     .err = "ok=0 changed=0 failed=2",
                     .logs = {"CLOSE\r\n", "CLOSE\r\n"},
                     .signal = SIGINT,
                     .signalWhen = "disk0/BIG.BIN disk1/BIG.BIN"};
#endif
    }
    void run()
    {
        QFETCH(Fleet, c);
        WorkDir work;
        const std::pair<const char *, QByteArray> fixtures[] = {
            {"source.bin", randomBytes(3004)}, {"other.bin", randomBytes(77)},
            {"big.bin", randomBytes(1 << 20)}, {"prog.bas", kProgram},
            {"variant.bas", kVariant},         {"other.bas", "10 PRINT 2\r\n"},
        };
        QVERIFY(QDir().mkpath(QStringLiteral("tmp")));
        for (const auto &[name, bytes] : fixtures)
            QVERIFY(work.writeFile(QString::fromLatin1(name), bytes));

        std::vector<Device> devices;
        QString hostList = QStringLiteral("# the devices of the row\n");
        for (const QString &kind : c.devices.split(QLatin1Char(' '))) {
            Device &d = devices.emplace_back();
            const QString disk = work.dir.filePath(QStringLiteral("disk%1").arg(devices.size() - 1));
            QString error;
            if (kind == QLatin1String("pty")) {
                d.pty = std::make_unique<PtyDeviceSim>(
                    PtyDeviceSim::Options{.console = {.newDelayMs = 10, .diskFolder = disk}});
                if (!d.pty->start(&error))
                    QSKIP(qPrintable("no pseudo-terminal: " + error));
                d.entry = d.pty->path();
            } else {
                d.udp = std::make_unique<DeviceSim>(DeviceSim::Options{
                    .port = 0, .newDelayMs = 10, .diskFolder = disk, .dropReply = kind == "drop5" ? 5 : 0});
                QVERIFY2(d.udp->start(&error), qPrintable(error));
                d.entry = QStringLiteral("127.0.0.1:%1").arg(d.udp->port());
                if (kind == QLatin1String("stopped"))
                    d.udp->stop();
            }
            hostList += d.entry + QStringLiteral("  # %1\n").arg(kind);
        }
        QVERIFY(work.writeFile(QStringLiteral("hosts.txt"), hostList.toUtf8()));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), work.dir.filePath(QStringLiteral("tmp")));
        environment.insert(QStringLiteral("VANTREL_RUNTIME_DIR"), work.dir.filePath(QStringLiteral("run")));
        for (const QString &setting : c.env.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            environment.insert(setting.section(QLatin1Char('='), 0, 0),
                               setting.section(QLatin1Char('='), 1).replace(QStringLiteral("{0}"), devices[0].entry));
        const auto expand = [&](const QString &run) {
            QStringList arguments;
            for (const QString &word : QProcess::splitCommand(run)) {
                const int n = word.size() == 3 && word.startsWith(QLatin1Char('{')) ? word.mid(1, 1).toInt() : -1;
                if (word == QLatin1String("{hosts}"))
                    arguments << QStringLiteral("hosts.txt");
                else if (n >= 0)
                    arguments << (devices[n].pty ? QStringLiteral("--serial") : QStringLiteral("--host"))
                              << devices[n].entry;
                else
                    arguments << word;
            }
            // A busy machine may be slow to answer; the rows about a silent device set their own timeout.
            if (!arguments.contains(QStringLiteral("--timeout")) && !c.env.contains(QLatin1String("VANTREL_TIMEOUT")))
                arguments.prepend(QStringLiteral("--timeout=120"));
            return arguments;
        };
        [[maybe_unused]] const auto holdsBytes = [&](const QString &names) {
            for (const QString &name : names.split(QLatin1Char(' ')))
                if (QFileInfo(work.dir.filePath(name)).size() == 0)
                    return false;
            return true;
        };

        // The devices run on this thread: the event loop turns while a command runs.
        const QStringList runs = c.runs.split(QStringLiteral(" | "));
        QByteArray stdOut, stdErr, everyStdErr;
        for (qsizetype i = 0; i < runs.size(); ++i) {
            QProcess vantrel;
            vantrel.setProcessEnvironment(environment);
            vantrel.setWorkingDirectory(work.dir.path());
            vantrel.start(builtProgram(VANTREL_BATCH), expand(runs[i]));
            stdOut.clear();
            stdErr.clear();
            [[maybe_unused]] bool signalled = false;
            const bool finished = ended(vantrel, [&] {
                stdOut += vantrel.readAllStandardOutput();
                stdErr += vantrel.readAllStandardError();
#ifdef Q_OS_UNIX
                if (c.signal && !signalled && i + 1 == runs.size() && holdsBytes(c.signalWhen))
                    signalled = ::kill(pid_t(vantrel.processId()), c.signal) == 0;
#endif
            });
            QVERIFY2(finished, stdErr.constData());
            stdOut += vantrel.readAllStandardOutput();
            stdErr += vantrel.readAllStandardError();
            everyStdErr += stdErr;
            QCOMPARE(vantrel.exitStatus(), QProcess::NormalExit);
            QVERIFY2(vantrel.exitCode() == (i + 1 < runs.size() ? 0 : c.exitCode), stdErr.constData());
            if (c.reports.value(i).isEmpty())
                continue;
            // One JSON object a device, as each ends: they are put back in the host list's order.
            std::map<qsizetype, QJsonObject> reports;
            const QByteArrayList lines = stdOut.trimmed().split('\n');
            for (const QByteArray &line : lines) {
                const QJsonObject report = QJsonDocument::fromJson(line).object();
                QVERIFY2(!report.isEmpty(), line.constData());
                for (qsizetype n = 0; n < qsizetype(devices.size()); ++n)
                    if (report.value(QStringLiteral("device")).toString() == devices[n].entry)
                        reports[n] = report;
            }
            QCOMPARE(qsizetype(reports.size()), lines.size());
            QJsonArray ordered;
            for (const auto &[n, report] : reports)
                ordered.append(report);
            const QJsonArray want = QJsonDocument::fromJson(c.reports[i].toUtf8()).array();
            QString where;
            QVERIFY2(!want.isEmpty() && ordered.size() == want.size() && holds(ordered, want, where),
                     qPrintable(QStringLiteral("run %1, report%2\n%3").arg(i + 1).arg(where, stdOut)));
        }
        QVERIFY2(everyStdErr.contains(c.err), everyStdErr.constData());
        for (const QString &pair : c.same.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString a = pair.section(QLatin1Char('='), 0, 0), b = pair.section(QLatin1Char('='), 1);
            QVERIFY2(QFile::exists(a), qPrintable(a));
            QCOMPARE(work.file(a), work.file(b));
        }
        for (const QString &file : c.files.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            QVERIFY2(QFile::exists(QString(file).remove(QLatin1Char('!'))) != file.startsWith(QLatin1Char('!')),
                     qPrintable(file));
        for (qsizetype n = 0; n < c.logs.size(); ++n) {
            // A log a device, named after it, in the folder the fleet ran in.
            const QString name =
                QString(devices[n].entry)
                    .replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_")) +
                QStringLiteral(".log");
            const QByteArray log = work.file(name);
            QVERIFY2(log.startsWith("START Vantrel V3.0\r\n") && log.endsWith(c.logs[n]), qPrintable(name));
        }
        QCOMPARE(QDir(QStringLiteral("tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    /// The example playbook against three simulated devices, as a site runs it: check mode changes nothing, the
    /// first run downloads the program to each, the second finds nothing to change.
    void playbook()
    {
        const QString ansible = QStandardPaths::findExecutable(QStringLiteral("ansible-playbook"));
        if (ansible.isEmpty())
            QSKIP("ansible-playbook is not installed (Debian's ansible-core)");
        WorkDir work;
        const QString example = QStringLiteral(VANTREL_SOURCE_DIR "/contrib/ansible");
        std::vector<std::unique_ptr<DeviceSim>> devices;
        QString inventory = QStringLiteral("vantrel_devices:\n  hosts:\n");
        for (int n = 0; n < 3; ++n) {
            devices.push_back(std::make_unique<DeviceSim>(DeviceSim::Options{.port = 0, .newDelayMs = 10}));
            QVERIFY(devices.back()->start());
            inventory += QStringLiteral("    device%1:\n      vantrel_device: 127.0.0.1:%2\n      "
                                        "ansible_connection: local\n")
                             .arg(n)
                             .arg(devices.back()->port());
        }
        QVERIFY(work.writeFile(QStringLiteral("inventory.yml"), inventory.toUtf8()));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // Ansible keeps its own files under HOME; the test keeps them in its folder.
        for (const auto &[name, value] :
             {std::pair{"HOME", work.dir.path()},
              {"ANSIBLE_LOCAL_TEMP", work.dir.filePath(QStringLiteral("ansible"))},
              {"ANSIBLE_NOCOLOR", QStringLiteral("1")},
              // Found once here rather than by Ansible on every host of every run.
              {"ANSIBLE_PYTHON_INTERPRETER", QStandardPaths::findExecutable(QStringLiteral("python3"))},
              {"ANSIBLE_RETRY_FILES_ENABLED", QStringLiteral("0")}})
            environment.insert(QLatin1String(name), value);
        const QStringList arguments{QStringLiteral("-i"),
                                    QStringLiteral("inventory.yml"),
                                    QStringLiteral("-e"),
                                    QStringLiteral("vantrel_command=") + builtProgram(VANTREL_BATCH),
                                    QStringLiteral("-e"),
                                    QStringLiteral("vantrel_log_dir=") + work.dir.filePath(QStringLiteral("logs")),
                                    example + QStringLiteral("/ensure-program.yml")};
        for (const auto &[mode, changed] : {std::pair{"--check", 1}, {"", 1}, {"", 0}}) {
            QProcess playbook;
            playbook.setProcessEnvironment(environment);
            playbook.setWorkingDirectory(work.dir.path());
            playbook.setProcessChannelMode(QProcess::MergedChannels);
            playbook.start(ansible, arguments + (*mode ? QStringList{QLatin1String(mode)} : QStringList()));
            QVERIFY(ended(playbook));
            const QString out = QString::fromLocal8Bit(playbook.readAll());
            QVERIFY2(playbook.exitCode() == 0, qPrintable(out));
            for (int n = 0; n < 3; ++n) {
                const QRegularExpression recap(
                    QStringLiteral("device%1\\s*: ok=1\\s+changed=%2\\s+unreachable=0\\s+failed=0")
                        .arg(n)
                        .arg(changed));
                QVERIFY2(out.contains(recap), qPrintable(QStringLiteral("%1 device%2:\n%3").arg(mode).arg(n).arg(out)));
            }
        }
        // Each device now lists the example's program, and each has its own log.
        QFile program(example + QStringLiteral("/program.bas"));
        QVERIFY(program.open(QIODevice::ReadOnly));
        const QByteArray wanted = program.readAll();
        for (const auto &device : devices) {
            const QString port = QString::number(device->port());
            QProcess list;
            list.setWorkingDirectory(work.dir.path());
            list.start(builtProgram(VANTREL_BATCH),
                       {QStringLiteral("--host"), QStringLiteral("127.0.0.1:") + port, QStringLiteral("--no-log"),
                        QStringLiteral("list"), QStringLiteral("back.bas")});
            QVERIFY(ended(list));
            QCOMPARE(list.exitCode(), 0);
            QCOMPARE(work.file(QStringLiteral("back.bas")).replace("\r\n", "\n"), wanted);
            QVERIFY(QFile::exists(QStringLiteral("logs/127.0.0.1_%1.log").arg(port)));
        }
    }
};

QTEST_GUILESS_MAIN(TestFleet)
#include "tst_fleet.moc"
