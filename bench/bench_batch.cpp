// SPDX-License-Identifier: MIT
// The batch command as a fleet script calls it, once per device: the wall time of `vantrel --host ... ver` as a
// whole process, start-up included, against the simulated device on 127.0.0.1; and of `vantrel --version`, which
// starts and ends without the window model or a link, as the floor of any run. With --windows BUILD, the Windows
// build's vantrel.exe under Wine (BUILD/wine-run) against the same device in the same run, and a 1 MiB put and get by
// both, each figure as a ratio to Linux: Wine's overhead, not Windows'.
#include "benchsupport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
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
    QCommandLineOption windowsOption(
        QStringLiteral("windows"),
        QStringLiteral("Also the Windows build in BUILD (./test.sh --windows made it) under "
                       "Wine, with a 1 MiB put and get by both, as ratios to Linux."),
        QStringLiteral("BUILD"));
    QCommandLineOption transfersOption(QStringLiteral("transfers"),
                                       QStringLiteral("Runs of each 1 MiB put and get with --windows."),
                                       QStringLiteral("n"), QStringLiteral("3"));
    parser.addOptions({runsOption, windowsOption, transfersOption});
    parser.process(app);
    const int runs = qMax(1, parser.value(runsOption).toInt());

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
