// SPDX-License-Identifier: MIT
// The batch command as a fleet script calls it, once per device: the wall time of `vantrel --host ... ver` as a
// whole process, start-up included, against the simulated device on 127.0.0.1; and of `vantrel --version`, which
// starts and ends without the window model or a link, as the floor of any run. With --windows BUILD, the Windows
// build's vantrel.exe under Wine (BUILD/wine-run) against the same device in the same run, and a 1 MiB put and get by
// both, each figure as a ratio to Linux: Wine's overhead, not Windows'. With --fleet: one run over many simulated
// devices, ensure-program of a program to each, with -j 1 and -j 16, and the memory of the run with its devices'
// runs.
#include "benchsupport.h"
#include "devicesim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace
{
/// Runs one command: its wall time in seconds, or below 0 when it failed.
using Command = std::function<double(const QStringList &arguments)>;

/// The median of `runs` runs in seconds, after printing best, median and worst; below 0 when a run failed.
double measure(const char *what, const Command &command, const QStringList &arguments, int runs)
{
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run)
        if (const double s = command(arguments); s >= 0)
            seconds.push_back(s);
    if (int(seconds.size()) < runs) {
        std::printf("%-34s FAILED (%d of %d runs)\n", what, runs - int(seconds.size()), runs);
        return -1;
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    std::printf("%-34s best %8.1f ms  median %8.1f ms  worst %8.1f ms  (%d runs)\n", what, seconds.front() * 1000,
                median * 1000, seconds.back() * 1000, runs);
    std::fflush(stdout);
    return median;
}

void ratio(const char *what, double wine, double native)
{
    if (wine > 0 && native > 0)
        std::printf("%-34s %.1f times Linux's median\n", what, wine / native);
}
/// The processes whose parent is `parent`, and theirs.
QList<qint64> descendants(qint64 parent)
{
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        // "pid (name) state ppid ...": the name may hold blanks, the last ")" ends it.
        const QByteArray stat = number ? readFile(QStringLiteral("/proc/%1/stat").arg(pid)) : QByteArray();
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent)
            found << pid << descendants(pid);
    }
    return found;
}

/// A field of /proc/PID/`file` in kB ("VmRSS:", "Pss:"), in MiB.
double procMiB(qint64 pid, const char *file, const char *field)
{
    for (const QByteArray &line : readFile(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file))).split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

struct FleetRun {
    double seconds = -1;
    int changed = 0;
    double peakRssMiB = 0; // the run and its devices' runs, summed at the moment they were highest
    double peakPssMiB = 0; // the same, each shared page counted once among the processes that share it
    double parentRssMiB = 0;
    int peakProcesses = 0;
};

/// One vantrel over the host list, its memory looked at every 20 ms.
FleetRun runFleet(const QStringList &arguments)
{
    FleetRun run;
    QProcess batch;
    QElapsedTimer clock;
    clock.start();
    batch.start(QStringLiteral(VANTREL_BATCH), arguments);
    batch.waitForStarted();
    QByteArray out;
    while (!batch.waitForFinished(20)) {
        if (batch.state() == QProcess::NotRunning)
            break;
        const qint64 parent = batch.processId();
        const QList<qint64> tree = QList<qint64>{parent} + descendants(parent);
        double rss = 0, pss = 0;
        for (const qint64 pid : tree) {
            rss += procMiB(pid, "status", "VmRSS:");
            pss += procMiB(pid, "smaps_rollup", "Pss:");
        }
        run.parentRssMiB = qMax(run.parentRssMiB, procMiB(parent, "status", "VmRSS:"));
        run.peakRssMiB = qMax(run.peakRssMiB, rss);
        run.peakPssMiB = qMax(run.peakPssMiB, pss);
        run.peakProcesses = qMax(run.peakProcesses, int(tree.size()));
        out += batch.readAllStandardOutput();
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    out += batch.readAllStandardOutput();
    run.changed = int(out.count("\"changed\":true"));
    if (batch.exitStatus() == QProcess::NormalExit && batch.exitCode() == 0)
        run.seconds = seconds;
    else
        std::fprintf(stderr, "%s", batch.readAllStandardError().constData());
    return run;
}

/// Many simulated devices on a thread of their own; the name served is their ports, one a line.
void serveFleet(DeviceThread &thread, int devices, int newDelayMs)
{
    std::vector<std::unique_ptr<DeviceSim>> sims;
    QString ports;
    for (int n = 0; n < devices; ++n) {
        sims.push_back(std::make_unique<DeviceSim>(DeviceSim::Options{.port = 0, .newDelayMs = newDelayMs}));
        if (!sims.back()->start(&thread.error))
            return thread.serve({});
        ports += QStringLiteral("127.0.0.1:%1\n").arg(sims.back()->port());
    }
    thread.serve(ports);
}

/// ensure-program of a program to every device, with -j 1 and -j 16, each time on devices that run no program yet;
/// then once more with -j 16, when every device runs it already.
void measureFleet(int devices, int lines, int newDelayMs)
{
    QTemporaryDir folder;
    QByteArray program;
    for (int n = 1; n <= lines; ++n)
        program += QByteArray::number(n * 10) + " PRINT \"LINE " + QByteArray::number(n) + "\"\r\n";
    QFile file(folder.filePath(QStringLiteral("prog.bas")));
    if (!file.open(QIODevice::WriteOnly) || file.write(program) != program.size())
        return void(std::printf("cannot write the program\n"));
    file.close();
    std::printf("%d simulated devices on one thread, ensure-program of a %d-line program, NEW answered after %d ms; "
                "%d cores\n",
                devices, lines, newDelayMs, QThread::idealThreadCount());
    double serial = 0;
    std::unique_ptr<DeviceThread> sims;
    for (const auto &[jobs, fresh] : {std::pair{1, true}, {16, true}, {16, false}}) {
        if (fresh)
            sims = std::make_unique<DeviceThread>(
                [devices, newDelayMs](DeviceThread &thread) { serveFleet(thread, devices, newDelayMs); });
        const QString ports = fresh ? sims->startDevice() : QString();
        if (fresh) {
            QFile hosts(folder.filePath(QStringLiteral("hosts.txt")));
            if (ports.isEmpty() || !hosts.open(QIODevice::WriteOnly) || hosts.write(ports.toUtf8()) < 0)
                return void(std::printf("no simulated devices: %s\n", qPrintable(sims->error)));
        }
        const FleetRun run =
            runFleet({QStringLiteral("--hosts"), folder.filePath(QStringLiteral("hosts.txt")), QStringLiteral("-j"),
                      QString::number(jobs), QStringLiteral("--no-log"), QStringLiteral("--json"), QStringLiteral("-q"),
                      QStringLiteral("ensure-program"), file.fileName()});
        if (run.seconds < 0) {
            std::printf("-j %-3d FAILED\n", jobs);
            continue;
        }
        serial = jobs == 1 ? run.seconds : serial;
        const QString speedUp = fresh ? QString::number(serial / run.seconds, 'f', 2) : QStringLiteral("-");
        std::printf("-j %-3d %-16s %7.2f s  speed-up %5s  changed %2d  peak: %2d processes, RSS %6.1f MiB summed, "
                    "PSS %6.1f MiB, the run itself %5.1f MiB\n",
                    jobs, fresh ? "(all to change)" : "(all right)", run.seconds, qPrintable(speedUp), run.changed,
                    run.peakProcesses, run.peakRssMiB, run.peakPssMiB, run.parentRssMiB);
        std::fflush(stdout);
    }
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Wall time of vantrel ver as a whole process: prints figures, never fails."));
    parser.addHelpOption();
    QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs of each command."), QStringLiteral("n"),
                                  QStringLiteral("20"));
    QCommandLineOption fleetOption(QStringLiteral("fleet"),
                                   QStringLiteral("ensure-program over many simulated devices in one run instead."));
    QCommandLineOption devicesOption(QStringLiteral("devices"), QStringLiteral("--fleet: the devices."),
                                     QStringLiteral("n"), QStringLiteral("50"));
    QCommandLineOption linesOption(QStringLiteral("lines"), QStringLiteral("--fleet: the program's lines."),
                                   QStringLiteral("n"), QStringLiteral("200"));
    QCommandLineOption newDelayOption(QStringLiteral("new-delay-ms"),
                                      QStringLiteral("--fleet: how long the devices take to answer NEW."),
                                      QStringLiteral("ms"), QStringLiteral("2000"));
    QCommandLineOption windowsOption(
        QStringLiteral("windows"),
        QStringLiteral("Also the Windows build in BUILD (./test.sh --windows made it) under "
                       "Wine, with a 1 MiB put and get by both, as ratios to Linux."),
        QStringLiteral("BUILD"));
    QCommandLineOption transfersOption(QStringLiteral("transfers"),
                                       QStringLiteral("Runs of each 1 MiB put and get with --windows."),
                                       QStringLiteral("n"), QStringLiteral("3"));
    parser.addOptions(
        {runsOption, windowsOption, transfersOption, fleetOption, devicesOption, linesOption, newDelayOption});
    parser.process(app);
    const int runs = qMax(1, parser.value(runsOption).toInt());
    if (parser.isSet(fleetOption)) {
        measureFleet(qMax(1, parser.value(devicesOption).toInt()), qMax(1, parser.value(linesOption).toInt()),
                     qMax(0, parser.value(newDelayOption).toInt()));
        return 0;
    }

    DeviceThread sim(serveUdpDevice);
    const QString port = sim.startDevice();
    if (port.isEmpty()) {
        std::printf("no simulated device: %s\n", qPrintable(sim.error));
        return 0;
    }
    QTemporaryDir folder; // where the runs' "Terminal.log" goes
    const QStringList ver{QStringLiteral("--host"), QStringLiteral("127.0.0.1:") + port, QStringLiteral("--workdir"),
                          folder.path(), QStringLiteral("ver")};
    const Command native = runBatch;
    measure("vantrel --version", native, {QStringLiteral("--version")}, runs);
    const double nativeVer = measure("vantrel ver", native, ver, runs);
    measure("vantrel ver --no-log", native,
            {QStringLiteral("--host"), QStringLiteral("127.0.0.1:") + port, QStringLiteral("--no-log"),
             QStringLiteral("ver")},
            runs);
    if (!parser.isSet(windowsOption))
        return 0;

    // The same runs by vantrel.exe under Wine; its paths are the host's, which Wine reaches through drive Z:.
    const QDir build(parser.value(windowsOption));
    const QString wineRun = build.absoluteFilePath(QStringLiteral("wine-run"));
    const QString exe = build.absoluteFilePath(QStringLiteral("bin/vantrel.exe"));
    if (!QFile::exists(wineRun) || !QFile::exists(exe)) {
        std::printf("no Windows build in %s (./test.sh --windows makes one)\n", qPrintable(build.path()));
        return 0;
    }
    const Command wine = [&](const QStringList &arguments) {
        return runProgram(wineRun, QStringList{exe} + arguments);
    };
    measure("vantrel.exe --version (Wine)", wine, {QStringLiteral("--version")}, runs);
    const double wineVer = measure("vantrel.exe ver (Wine)", wine, ver, runs);

    QByteArray data(1 << 20, Qt::Uninitialized);
    for (char &b : data)
        b = char(QRandomGenerator::global()->bounded(256));
    const QString source = folder.filePath(QStringLiteral("source.bin")),
                  copy = folder.filePath(QStringLiteral("copy.bin"));
    QFile out(source);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size())
        return 0;
    out.close();
    const int transfers = qMax(1, parser.value(transfersOption).toInt());
    const auto transfer = [&](const Command &command, const QStringList &verb) {
        return [&, command, verb](const QStringList &) {
            const double s =
                command(QStringList{QStringLiteral("--host"), QStringLiteral("127.0.0.1:") + port,
                                    QStringLiteral("--no-log"), QStringLiteral("--timeout"), QStringLiteral("60")} +
                        verb);
            return verb.first() == QLatin1String("get") && readFile(copy) != data ? -1 : s;
        };
    };
    const QStringList put{QStringLiteral("put"), source, QStringLiteral("BENCH.BIN")};
    const QStringList get{QStringLiteral("get"), QStringLiteral("BENCH.BIN"), copy};
    const double nativePut = measure("vantrel put 1 MiB", transfer(native, put), {}, transfers);
    const double nativeGet = measure("vantrel get 1 MiB", transfer(native, get), {}, transfers);
    const double winePut = measure("vantrel.exe put 1 MiB (Wine)", transfer(wine, put), {}, transfers);
    const double wineGet = measure("vantrel.exe get 1 MiB (Wine)", transfer(wine, get), {}, transfers);
    ratio("ver under Wine", wineVer, nativeVer);
    ratio("put 1 MiB under Wine", winePut, nativePut);
    ratio("get 1 MiB under Wine", wineGet, nativeGet);
    return 0;
}
