// SPDX-License-Identifier: MIT
// The batch command as a fleet script calls it, once per device: the wall time of `vantrel --host ... ver` as a
// whole process, start-up included, against the simulated device on 127.0.0.1; and of `vantrel --version`, which
// starts and ends without the window model or a link, as the floor of any run.
#include "benchsupport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
void measure(const char *what, const QStringList &arguments, int runs)
{
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run)
        if (const double s = runBatch(arguments); s >= 0)
            seconds.push_back(s);
    if (int(seconds.size()) < runs) {
        std::printf("%-28s FAILED (%d of %d runs)\n", what, runs - int(seconds.size()), runs);
        return;
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%-28s best %6.1f ms  median %6.1f ms  worst %6.1f ms  (%d runs)\n", what, seconds.front() * 1000,
                seconds[seconds.size() / 2] * 1000, seconds.back() * 1000, runs);
    std::fflush(stdout);
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
    parser.addOption(runsOption);
    parser.process(app);
    const int runs = qMax(1, parser.value(runsOption).toInt());

    DeviceThread sim(serveUdpDevice);
    const QString port = sim.startDevice();
    if (port.isEmpty()) {
        std::printf("no simulated device: %s\n", qPrintable(sim.error));
        return 0;
    }
    QTemporaryDir folder; // where the runs' "Terminal.log" goes
    measure("vantrel --version", {QStringLiteral("--version")}, runs);
    measure("vantrel ver",
            {QStringLiteral("--host"), QStringLiteral("127.0.0.1:") + port, QStringLiteral("--workdir"), folder.path(),
             QStringLiteral("ver")},
            runs);
    measure("vantrel ver --no-log",
            {QStringLiteral("--host"), QStringLiteral("127.0.0.1:") + port, QStringLiteral("--no-log"),
             QStringLiteral("ver")},
            runs);
    return 0;
}
