// SPDX-License-Identifier: MIT
// Console flood: how many 64-byte datagrams a second the terminal handles (logged, shown in the receive
// pane), against a bare receiver that only counts them, with and without the window, with an empty pane (the
// window with and without its status line) and with 10 MB already in it, taken in turns and their medians compared,
// each flood with how late a 5 ms timer of the window's thread came at most (how long the window could not draw);
// then a steady 20,000 a second for 10 s with the window attached; then 100 MB of console lines appended to the pane
// with the window attached, in the pane's view chosen with --view, for the memory the pane costs; then the hex and
// time-stamp views switched on and off over a full 8 MB pane; and the peak memory of the whole run. --console-only
// leaves out the floods, so that the peak memory is that of the full pane in its view alone. With --soak MINUTES
// instead: 5,000 datagrams a second for that long with the window attached (lines ending in CR LF, or in LF alone
// with --bare-lf), the resident memory each minute, and at the end the datagrams sent against those handled and how
// flat the memory stayed. With --monitor instead: the steady flood into a full pane with the wire monitor open,
// against the same flood with the record off (as before the monitor) and with the monitor closed, in turns: datagrams
// lost and processor time a datagram; and the memory of 100,000 units recorded with the monitor open, against the
// record off.
#include "benchsupport.h"

#include "app/window.h"
#include "gui/mainwindow.h"
#include "gui/monitorwindow.h"
#include "gui/receivepane.h"
#include "platform/platform.h"
#include "platform/qt/qtmscomm.h"
#include "platform/qt/qtwinsock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace
{

struct Result {
    int sent = 0;
    qint64 handled = 0;
    double seconds = 0;
    double cpu = 0;      // seconds of the receiving thread
    double latestMs = 0; // the most a 5 ms timer of the window's thread came late: how long the window went unheard
    double rate() const { return seconds > 0 ? handled / seconds : 0; }
    double cpuPerDatagram() const { return handled > 0 ? cpu / handled * 1e6 : 0; }
};

constexpr qint64 kTurnNs = 5000000;

/// Floods `port` and runs the event loop until the sender is done and nothing arrived for 300 ms.
/// `handled` counts what the receiver has handled; the time runs to the last datagram handled.
Result flood(quint16 port, int size, int count, int rate, const std::function<qint64()> &handled,
             QtWinsock *terminal = nullptr)
{
    UdpFlood sender(port, size);
    // The terminal takes datagrams only from its device's port: the sender stands for the device.
    if (terminal)
        terminal->setRemotePort(sender.sourcePort());
    QElapsedTimer clock;
    const qint64 before = handled();
    qint64 seen = before;
    qint64 lastChange = 0;
    QTimer turn;
    qint64 due = 0, latest = 0;
    QObject::connect(&turn, &QTimer::timeout, [&] {
        latest = qMax(latest, clock.nsecsElapsed() - due);
        due = clock.nsecsElapsed() + kTurnNs;
    });
    const double cpu = threadCpuSeconds();
    clock.start();
    due = kTurnNs;
    turn.start(kTurnNs / 1000000);
    sender.start(count, rate);
    runUntil(
        [&] {
            const qint64 now = handled();
            if (now != seen) {
                seen = now;
                lastChange = clock.elapsed();
            }
            return sender.finished() && clock.elapsed() - lastChange > 300;
        },
        600000);
    sender.wait();
    return {sender.sent(), seen - before, lastChange / 1000.0, threadCpuSeconds() - cpu, latest / 1e6};
}

void print(const char *what, const Result &r)
{
    std::printf("%-50s sent %7d  handled %7lld  lost %6lld  %7.0f datagrams/s  %5.2f us CPU each  timer late by "
                "%.1f ms at most  peak %.1f MiB\n",
                what, r.sent, r.handled, r.sent - r.handled, r.rate(), r.cpuPerDatagram(), r.latestMs, peakMemoryMiB());
    std::fflush(stdout);
}

/// The window model on the real socket, connected to 127.0.0.1, counting the datagrams it handles.
struct Terminal {
    explicit Terminal(const QString &folder)
    {
        QDir::setCurrent(folder);
        udp.Form_Load();
        udp.ComboRemoteIP.setText("127.0.0.1");
        udp.tbLocalPort.setText("0");
        udp.cbBind_Click();
        winsock.setArrivalHandler([this] {
            udp.Winsock1_DataArrival();
            ++handled;
        });
    }
    QtWinsock winsock;
    QtMSComm mscomm;
    BenchDialog dialog;
    BenchMessageBox boxes;
    BenchSystem system;
    UDP udp{Platform{winsock, mscomm, dialog, boxes, system}};
    qint64 handled = 0;
};

/// Hours of a talkative device in minutes: memory must settle once the receive pane holds its fill.
void soak(Terminal &terminal, int minutes, bool bareLf)
{
    constexpr int kRate = 5000, kSize = 64;
    MainWindow window(terminal.udp);
    window.show();
    runUntil([] { return false; }, 200);
    std::printf("soak: %d datagrams of %d bytes a second for %d min, lines ending in %s, the view attached\n", kRate,
                kSize, minutes, bareLf ? "LF" : "CR LF");
    std::vector<double> memory{residentMemoryMiB()};
    std::printf("    minute  0: VmRSS %7.1f MiB\n", memory.back());
    std::fflush(stdout);
    const qint64 before = terminal.handled;
    UdpFlood sender(terminal.winsock.localPort(), kSize, bareLf);
    terminal.winsock.setRemotePort(sender.sourcePort());
    QElapsedTimer clock;
    clock.start();
    sender.start(kRate * 60 * minutes, kRate);
    for (int minute = 1; minute <= minutes; ++minute) {
        runUntil([&] { return clock.elapsed() >= minute * 60000LL; }, 61000);
        memory.push_back(residentMemoryMiB());
        std::printf("    minute %2d: VmRSS %7.1f MiB, %lld datagrams handled\n", minute, memory.back(),
                    terminal.handled - before);
        std::fflush(stdout);
    }
    runUntil([&] { return sender.finished() && terminal.handled - before >= sender.sent(); }, 10000);
    sender.wait();
    const qint64 handled = terminal.handled - before;
    std::printf("    sent %d datagrams, handled %lld, lost %lld; pane holds %lld bytes\n", sender.sent(), handled,
                sender.sent() - handled, qint64(terminal.udp.tbReceiveData.Text().size()));
    printSoakMemory(memory);
}

/// The pane filled to its limit with console lines, as after hours of a talkative device.
void fillPane(Terminal &terminal, MainWindow &window)
{
    QByteArray full(64, 'y');
    full[62] = '\r';
    full[63] = '\n';
    full = full.repeated(kReceivePaneLimit / 64);
    terminal.udp.tbReceiveData.appendReceived(full, terminal.system.clockMs());
    window.flush();
    runUntil([] { return false; }, 300);
}

/// The wire monitor's cost: memory first, in a process that has recorded nothing yet, then processor time in turns.
void monitorCost(Terminal &terminal, int rate, int seconds, int turns)
{
    Monitor::Record &record = terminal.udp.monitor;
    MainWindow window(terminal.udp);
    window.show();
    fillPane(terminal, window);
    const quint16 port = terminal.winsock.localPort();
    const auto handled = [&] { return terminal.handled; };
    const int units = int(Monitor::Record::kCapacity);
    const auto shownRows = [&] { return window.monitor() ? window.monitor()->rows()->rowCount() : 0; };
    std::printf("wire monitor: %d datagrams of 64 bytes a second into a full pane\n", rate);

    record.setCapacity(0);
    print("record off, 100,000 datagrams", flood(port, 64, units, rate, handled, &terminal.winsock));
    const double without = residentMemoryMiB();
    record.setCapacity(Monitor::Record::kCapacity);
    window.openMonitor();
    print("record on, monitor open, 100,000 datagrams", flood(port, 64, units, rate, handled, &terminal.winsock));
    runUntil([&] { return shownRows() >= units; }, 5000);
    const double with = residentMemoryMiB();
    std::printf("memory: VmRSS %.1f MiB with the record off, %.1f MiB with %lld units recorded and %lld rows in the "
                "monitor: %+.1f MiB\n",
                without, with, record.end() - record.first(), qint64(shownRows()), with - without);

    struct Setting {
        const char *name;
        bool record, open;
    };
    const Setting settings[] = {{"record off (as before the monitor)", false, false},
                                {"record on, monitor closed", true, false},
                                {"record on, monitor open", true, true}};
    std::vector<std::vector<Result>> results(std::size(settings));
    for (int turn = 0; turn < turns; ++turn) {
        for (size_t i = 0; i < std::size(settings); ++i) {
            record.setCapacity(settings[i].record ? Monitor::Record::kCapacity : 0);
            settings[i].open ? window.openMonitor() : window.monitor()->hide();
            runUntil([] { return false; }, 200);
            results[i].push_back(flood(port, 64, rate * seconds, rate, handled, &terminal.winsock));
            print(settings[i].name, results[i].back());
        }
    }
    std::vector<double> cpu;
    qint64 lost = 0;
    for (const std::vector<Result> &runs : results) {
        std::vector<double> each;
        for (const Result &r : runs) {
            each.push_back(r.cpuPerDatagram());
            lost += r.sent - r.handled;
        }
        std::sort(each.begin(), each.end());
        cpu.push_back(each[each.size() / 2]);
    }
    std::printf("median of %d turns, us CPU a datagram: record off %.3f, monitor closed %.3f (%+.1f %%), monitor open "
                "%.3f (%+.1f %%); lost in all %lld\n",
                turns, cpu[0], cpu[1], 100.0 * (cpu[1] / cpu[0] - 1), cpu[2], 100.0 * (cpu[2] / cpu[0] - 1), lost);
}

} // namespace

int main(int argc, char *argv[])
{
    // As the terminal does.
    ReceivePane::returnFreedMemory();
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")).toUtf8());
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Console flood benchmark: prints figures, never fails."));
    parser.addHelpOption();
    QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Datagrams per flood."), QStringLiteral("n"),
                                   QStringLiteral("100000"));
    QCommandLineOption rateOption(QStringLiteral("steady-rate"), QStringLiteral("Datagrams a second, steady phase."),
                                  QStringLiteral("n"), QStringLiteral("20000"));
    QCommandLineOption secondsOption(QStringLiteral("steady-seconds"), QStringLiteral("Length of the steady phase."),
                                     QStringLiteral("s"), QStringLiteral("10"));
    QCommandLineOption totalOption(QStringLiteral("console-mb"),
                                   QStringLiteral("MB of console text appended in the last phase."),
                                   QStringLiteral("n"), QStringLiteral("100"));
    QCommandLineOption paneOption(QStringLiteral("pane-mb"), QStringLiteral("MB in the pane before a flood."),
                                  QStringLiteral("n"), QStringLiteral("10"));
    QCommandLineOption soakOption(QStringLiteral("soak"), QStringLiteral("Minutes of steady console datagrams, alone."),
                                  QStringLiteral("minutes"));
    QCommandLineOption viewOption(QStringLiteral("view"),
                                  QStringLiteral("The pane's view while the console text comes: text, hex, stamps "
                                                 "or hex-stamps."),
                                  QStringLiteral("view"), QStringLiteral("text"));
    QCommandLineOption consoleOnlyOption(QStringLiteral("console-only"),
                                         QStringLiteral("Only the console text and the view switches, no floods."));
    QCommandLineOption turnsOption(QStringLiteral("status-turns"),
                                   QStringLiteral("Floods with and without the status line, each."),
                                   QStringLiteral("n"), QStringLiteral("5"));
    QCommandLineOption bareLfOption(QStringLiteral("bare-lf"), QStringLiteral("Soak lines end in LF alone."));
    QCommandLineOption monitorOption(QStringLiteral("monitor"),
                                     QStringLiteral("The steady flood into a full pane with the wire monitor open, "
                                                    "closed, and with the record off, in turns (--status-turns); the "
                                                    "memory of 100,000 units recorded."));
    parser.addOptions({countOption, rateOption, secondsOption, paneOption, totalOption, viewOption, consoleOnlyOption,
                       turnsOption, soakOption, bareLfOption, monitorOption});
    parser.process(app);
    const QString view = parser.value(viewOption);
    const bool consoleOnly = parser.isSet(consoleOnlyOption);
    const int turns = qMax(1, parser.value(turnsOption).toInt());
    if (parser.isSet(soakOption)) {
        QTemporaryDir folder;
        Terminal terminal(folder.path());
        soak(terminal, qMax(1, parser.value(soakOption).toInt()), parser.isSet(bareLfOption));
        return 0;
    }
    const int count = parser.value(countOption).toInt();
    const int steadyRate = parser.value(rateOption).toInt();
    const int steadySeconds = parser.value(secondsOption).toInt();
    if (parser.isSet(monitorOption)) {
        QTemporaryDir folder;
        Terminal terminal(folder.path());
        monitorCost(terminal, steadyRate, steadySeconds, parser.isSet(turnsOption) ? turns : 3);
        return 0;
    }
    const int paneBytes = parser.value(paneOption).toInt() * 1000 * 1000;
    const qint64 consoleBytes = parser.value(totalOption).toLongLong() * 1000 * 1000;
    const int size = 64;

    QTemporaryDir folder;
    std::printf("console flood: %d datagrams of %d bytes to 127.0.0.1\n", count, size);
    QByteArray line(size, 'y');
    line[size - 2] = '\r';
    line[size - 1] = '\n';

    Terminal terminal(folder.path());
    const quint16 port = terminal.winsock.localPort();
    auto handled = [&] { return terminal.handled; };
    Result raw, model, viewEmpty, viewFull, steady;
    auto window = std::make_unique<MainWindow>(terminal.udp);
    window->hide();
    terminal.udp.setObserver(nullptr);
    if (!consoleOnly) {
        // The raw limit: a receiver with the same socket buffer that only counts.
        QUdpSocket bare;
        bare.bind(QHostAddress::LocalHost, 0);
        bare.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
        qint64 bareCount = 0;
        QObject::connect(&bare, &QUdpSocket::readyRead, [&] {
            char buffer[2048];
            while (bare.hasPendingDatagrams())
                if (bare.readDatagram(buffer, sizeof buffer) >= 0)
                    ++bareCount;
        });
        raw = flood(bare.localPort(), size, count, 0, [&] { return bareCount; });
        print("bare receiver (raw limit)", raw);

        model = flood(port, size, count, 0, handled, &terminal.winsock);
        print("model + socket", model);

        // The window with and without its status line, and with 10 MB put into the pane before the flood, in turns,
        // so that all three meet the same machine load.
        terminal.udp.Command2_Click();
        terminal.udp.setObserver(window.get());
        window->show();
        runUntil([] { return false; }, 200);
        // A flood's rate swings with the machine's load; the processor time of the terminal's thread for each
        // datagram it handled does not, and tells the status line's own cost.
        WithoutStatusLine withoutStatus(*window);
        std::vector<Result> with, without, full;
        for (int turn = 0; turn < turns; ++turn) {
            for (const bool status : {true, false}) {
                terminal.udp.setObserver(status ? static_cast<ElementObserver *>(window.get()) : &withoutStatus);
                terminal.udp.Command2_Click();
                window->flush();
                const Result r = flood(port, size, count, 0, handled, &terminal.winsock);
                print(status ? "view + status line, empty pane" : "view, no status line (as before), empty pane", r);
                (status ? with : without).push_back(r);
            }
            terminal.udp.setObserver(window.get());
            terminal.udp.Command2_Click();
            QByteArray ten;
            ten.reserve(paneBytes);
            while (ten.size() + size <= paneBytes)
                ten += line;
            terminal.udp.tbReceiveData.append(ten);
            ten = QByteArray();
            window->flush();
            runUntil([] { return false; }, 500);
            full.push_back(flood(port, size, count, 0, handled, &terminal.winsock));
            print("model + socket + view, 10 MB in the pane", full.back());
        }
        const auto median = [](std::vector<Result> results, double (Result::*figure)() const) {
            std::sort(results.begin(), results.end(),
                      [figure](const Result &a, const Result &b) { return (a.*figure)() < (b.*figure)(); });
            return results[results.size() / 2];
        };
        viewEmpty = median(with, &Result::rate);
        viewFull = median(full, &Result::rate);
        const double rateWith = viewEmpty.rate(), rateWithout = median(without, &Result::rate).rate();
        const double cpuWith = median(with, &Result::cpuPerDatagram).cpuPerDatagram();
        const double cpuWithout = median(without, &Result::cpuPerDatagram).cpuPerDatagram();
        std::printf("status line, median of %d floods each: %.0f datagrams/s with it, %.0f without (%+.1f %%); "
                    "%.3f us CPU a datagram with it, %.3f without (%+.1f %%)\n",
                    turns, rateWith, rateWithout, 100.0 * (rateWith / rateWithout - 1), cpuWith, cpuWithout,
                    100.0 * (cpuWith / cpuWithout - 1));
        std::printf("full pane, median of %d floods: %.0f datagrams/s, %.3f us CPU a datagram\n", turns,
                    viewFull.rate(), median(full, &Result::cpuPerDatagram).cpuPerDatagram());

        steady = flood(port, size, steadyRate * steadySeconds, steadyRate, handled, &terminal.winsock);
        QByteArray what =
            QByteArray::number(steadyRate) + "/s for " + QByteArray::number(steadySeconds) + " s, view, full pane";
        print(what.constData(), steady);
    } else {
        terminal.udp.setObserver(window.get());
        window->show();
        runUntil([] { return false; }, 200);
    }

    auto *receive = dynamic_cast<ReceivePane *>(window->widget(terminal.udp.tbReceiveData));
    receive->setView(view.startsWith(QLatin1String("hex")), view.endsWith(QLatin1String("stamps")));

    // Hours of console output in one go: 64 KB of lines at a time, each batch shown as the next frame would.
    terminal.udp.Command2_Click();
    QByteArray batch;
    while (batch.size() + size <= 64 * 1000)
        batch += line;
    QElapsedTimer clock;
    clock.start();
    qint64 appended = 0;
    while (appended < consoleBytes) {
        terminal.udp.tbReceiveData.appendReceived(batch, terminal.system.clockMs());
        terminal.udp.tbReceiveData.caretToEnd();
        window->flush();
        QCoreApplication::processEvents();
        appended += batch.size();
    }
    const double seconds = clock.elapsed() / 1000.0;
    const QByteArray console = "console text, " + view.toLatin1() + " view";
    std::printf("%-44s %lld MB in %.1f s  %7.1f MB/s  pane %lld bytes  peak %.1f MiB\n", console.constData(),
                appended / 1000000, seconds, appended / 1e6 / seconds, qint64(terminal.udp.tbReceiveData.Text().size()),
                peakMemoryMiB());

    // A full pane, up to its last byte, then each view switched on and off; a switch counts until it is painted.
    terminal.udp.Command2_Click();
    QByteArray full;
    full.reserve(kReceivePaneLimit);
    while (full.size() + size <= kReceivePaneLimit)
        full += line;
    terminal.udp.tbReceiveData.appendReceived(full, terminal.system.clockMs());
    full.clear();
    window->flush();
    receive->setView(false, false);
    window->repaint();
    for (const auto &[hex, stamps, name] : {std::tuple{true, false, "hex"}, std::tuple{false, true, "time-stamp"},
                                            std::tuple{true, true, "hex and time-stamp"}}) {
        double on = 0, off = 0;
        const int switches = 5;
        for (int i = 0; i < switches; ++i) {
            QElapsedTimer timer;
            timer.start();
            receive->setView(hex, stamps);
            window->repaint();
            on = qMax(on, timer.nsecsElapsed() / 1e9);
            timer.restart();
            receive->setView(false, false);
            window->repaint();
            off = qMax(off, timer.nsecsElapsed() / 1e9);
        }
        std::printf("%-44s on %.3f s, off %.3f s (slowest of %d), pane %lld bytes  peak %.1f MiB\n",
                    (QByteArray(name) + " view switched").constData(), on, off, switches,
                    qint64(terminal.udp.tbReceiveData.Text().size()), peakMemoryMiB());
    }
    if (consoleOnly) {
        std::printf("peak memory over the run: %.1f MiB\n", peakMemoryMiB());
        return 0;
    }

    std::printf("\nmodel / raw: %.2f   view (empty) / raw: %.2f   view 10 MB / view empty: %.2f (medians)\n",
                model.rate() / raw.rate(), viewEmpty.rate() / raw.rate(), viewFull.rate() / viewEmpty.rate());
    std::printf("steady phase lost %lld of %d\n", steady.sent - steady.handled, steady.sent);
    std::printf("pane holds %lld bytes; foreign datagrams dropped %llu\n",
                qint64(terminal.udp.tbReceiveData.Text().size()),
                static_cast<unsigned long long>(terminal.winsock.droppedCount()));
    std::printf("peak memory over the run: %.1f MiB\n", peakMemoryMiB());
    return 0;
}
