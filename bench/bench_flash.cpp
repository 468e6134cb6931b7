// SPDX-License-Identifier: MIT
// Flash-disk transfer: writes and reads a file of random bytes through the terminal model and its real
// UDP socket, and with a minimal blocking client that speaks the same stop-and-wait exchange, against two
// devices on 127.0.0.1: the simulated device (with its flash disk in memory) and a minimal device that answers
// at once and keeps nothing. The blocking client against the minimal device is the limit of stop-and-wait
// here; the terminal's rate against that limit is its own share of the time. The batch command (vantrel put and
// get) runs the same transfer as a process of its own, start-up included. With --device-process the simulated
// device runs as a process of its own too, as far from the window as from vantrel, as a real device is. With the view,
// the window's status line is measured in turns against the view without it, as the window was before it had
// one. With --monitor instead: the terminal's write to the minimal device, its window shown, with the wire monitor
// open, against the record off (as before the monitor) and the monitor closed, in turns. With --own: only the
// window's write and read to the minimal device against the blocking client, and the terminal's own time a block,
// also against the floor: the blocking client making the calls the terminal may not do without, a poll for each
// reply and the log's write before each command.
#include "benchsupport.h"

#include "app/window.h"
#include "devicesim.h"
#include "gui/mainwindow.h"
#include "gui/monitorwindow.h"
#include "platform/platform.h"
#include "platform/qt/qtmscomm.h"
#include "platform/qt/qtwinsock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <optional>

namespace
{

/// A device that answers at once and keeps nothing: OK to every command, and to each READ one data reply of
/// 20 bytes of `data` and OK, or the rest of `data` with the end marker.
class MinimalDevice
{
public:
    explicit MinimalDevice(QByteArray data) : m_hex(data.toHex().toUpper())
    {
        m_fd = boundLoopbackSocket(&m_port);
        timeval wait{0, 100000}; // looks at m_stop now and then
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        m_thread = std::thread([this] { run(); });
    }
    ~MinimalDevice()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    quint16 port() const { return m_port; }

private:
    void run()
    {
        char buffer[2048];
        qsizetype pos = 0;
        while (!m_stop) {
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&peer), &len);
            if (n <= 0)
                continue;
            const auto reply = [&](const QByteArray &text) {
                ::sendto(m_fd, text.constData(), size_t(text.size()), 0, reinterpret_cast<sockaddr *>(&peer), len);
            };
            const QByteArrayView command(buffer, n);
            if (command.startsWith("OPENRD"))
                pos = 0;
            if (!command.startsWith("READ")) {
                reply("OK");
                continue;
            }
            if (m_hex.size() - pos > 40) {
                reply(m_hex.mid(pos, 40));
                reply("OK");
                pos += 40;
            } else {
                reply(m_hex.mid(pos) + "ND");
                pos = m_hex.size();
            }
        }
    }
    QByteArray m_hex;
    int m_fd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

/// The raw limit: one blocking socket, each command waiting for its reply. Given a log, it is the floor of a
/// terminal that may not block: it makes the system calls the terminal's rules leave, the poll that waits for each
/// reply and one write to the log of each command with all that came before it.
class RawClient
{
public:
    explicit RawClient(quint16 port, int log = -1) : m_log(log) { m_fd = connectedLoopbackSocket(port); }
    ~RawClient() { ::close(m_fd); }

    bool write(const QByteArray &name, const QByteArray &data)
    {
        if (!exchange("OPENWR \"" + name + "\"").contains("OK"))
            return false;
        for (qsizetype pos = 0; pos < data.size(); pos += 21)
            if (!exchange("WRITE \"" + data.mid(pos, 21).toHex().toUpper() + "\"").contains("OK"))
                return false;
        return exchange("CLOSE").contains("OK");
    }

    QByteArray read(const QByteArray &name)
    {
        QByteArray data;
        if (!exchange("OPENRD \"" + name + "\"").contains("OK"))
            return {};
        for (;;) {
            const QByteArray reply = exchange("READ 20\"");
            const qsizetype end = reply.indexOf("ND");
            if (end >= 0) {
                data += QByteArray::fromHex(reply.left(end));
                break;
            }
            if (reply.isEmpty())
                return {};
            data += QByteArray::fromHex(reply.left(40));
            receive(false); // the "OK" that follows every full block, already on its way
        }
        exchange("CLOSE");
        return data;
    }

private:
    QByteArray exchange(const QByteArray &command)
    {
        const QByteArray line = command + "\r\n";
        if (m_log >= 0) {
            m_received += line; // the terminal logs its command with the reply that brought it
            if (::write(m_log, m_received.constData(), size_t(m_received.size())) != m_received.size())
                return {};
            m_received.clear();
        }
        ::send(m_fd, line.constData(), size_t(line.size()), 0);
        return receive(true);
    }
    QByteArray receive(bool wait)
    {
        if (m_log >= 0 && wait) {
            pollfd readable{m_fd, POLLIN, 0};
            ::poll(&readable, 1, 5000); // as long as the socket's own receive time-out
        }
        char buffer[2048];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return {};
        if (m_log >= 0)
            m_received.append(buffer, n);
        return QByteArray(buffer, n);
    }
    int m_fd = -1;
    int m_log = -1;
    QByteArray m_received; // since the last command, for the log
};

/// The window model on the real socket, connected to the device.
struct Terminal {
    explicit Terminal(const QString &folder)
    {
        QDir::setCurrent(folder);
        udp.Form_Load();
    }
    /// Disconnect, then Connect to the device on `devicePort`.
    void connect(quint16 devicePort)
    {
        udp.Command1_Click();
        udp.ComboRemoteIP.setText("127.0.0.1");
        udp.tbRemotePort.setText(QByteArray::number(devicePort));
        udp.tbLocalPort.setText("0");
        udp.cbBind_Click();
    }
    /// Send (write) or Recieve (read) of `path` under `name`; seconds taken, or -1 when it did not end in "OK".
    double transfer(bool write, const QString &path, const QByteArray &name)
    {
        dialog.answer = path;
        udp.Text2.setText(name);
        QElapsedTimer clock;
        clock.start();
        const double cpu = threadCpuSeconds();
        write ? udp.Command3_Click() : udp.Command4_Click();
        const qsizetype pane = udp.tbReceiveData.Text().size();
        const bool ended = runUntil([this] { return !udp.FlashWriting && !udp.FlashReading; }, 600000);
        const double seconds = clock.nsecsElapsed() / 1e9;
        lastCpu = threadCpuSeconds() - cpu;
        // The answer to CLOSE must not be taken for the answer to the next transfer's first command.
        runUntil([this, pane] { return udp.tbReceiveData.Text().size() > pane; }, 1000);
        return ended && udp.vbalProgressBar1.Text() == "OK" ? seconds : -1;
    }
    QtWinsock winsock;
    QtMSComm mscomm;
    BenchDialog dialog;
    BenchMessageBox boxes;
    BenchSystem system;
    UDP udp{Platform{winsock, mscomm, dialog, boxes, system}};
    double lastCpu = 0; // seconds of this thread in the last transfer
};

/// The best of several runs: stop-and-wait over loopback depends on how fast each thread wakes up,
/// which varies from run to run far more than the work done.
struct Best {
    double seconds = -1;
    bool identical = true;
    void add(double s, bool same = true)
    {
        if (s >= 0 && (seconds < 0 || s < seconds))
            seconds = s;
        identical = identical && same && s >= 0;
    }
    double rate(qint64 bytes) const { return seconds > 0 ? bytes / seconds : 0; }
};

void print(const char *what, qint64 bytes, const Best &best, const Best *limit)
{
    if (best.seconds < 0) {
        std::printf("%-34s FAILED\n", what);
        return;
    }
    std::printf("%-34s %9.0f bytes/s  %6.2f s", what, best.rate(bytes), best.seconds);
    if (limit)
        std::printf("  of the limit %.2f", best.rate(bytes) / limit->rate(bytes));
    std::printf("  %s  peak %.1f MiB\n", best.identical ? "identical" : "DIFFERENT", peakMemoryMiB());
    std::fflush(stdout);
}

/// Seconds a raw transfer took, or -1 when it failed; the processor time of this thread in `cpu`, if given.
double timed(const std::function<bool()> &transfer, double *cpu = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    const double start = threadCpuSeconds();
    const bool ok = transfer();
    if (cpu)
        *cpu = threadCpuSeconds() - start;
    return ok ? clock.nsecsElapsed() / 1e9 : -1;
}

/// Blocks of a write (21 bytes each) or a read (20 bytes each, the last one with the end marker) of `bytes`.
qint64 blocks(bool write, qint64 bytes)
{
    const qint64 block = write ? 21 : 20;
    return (bytes + block - 1) / block;
}

/// The terminal's own share of a block: its time beyond the blocking client's round trip, and the processor time of
/// its thread beyond the client's, both in microseconds a block (the client's processor time is what the two
/// system calls of a round trip cost).
void printOwn(const char *what, qint64 blocks, double terminal, double terminalCpu, double client, double clientCpu)
{
    if (terminal < 0 || client < 0) {
        std::printf("%-34s FAILED\n", what);
        return;
    }
    const double us = 1e6 / double(blocks);
    std::printf("%-34s %.2f of the blocking client; own %.2f us a block (round trip %.2f us), processor %.2f us a "
                "block beyond the client's %.2f us\n",
                what, client / terminal, (terminal - client) * us, client * us, (terminalCpu - clientCpu) * us,
                clientCpu * us);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")).toUtf8());
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Flash-disk transfer benchmark: prints figures, never fails."));
    parser.addHelpOption();
    QCommandLineOption sizeOption(QStringLiteral("kib"), QStringLiteral("File size in KiB."), QStringLiteral("n"),
                                  QStringLiteral("1024"));
    QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs of each transfer; the best counts."),
                                  QStringLiteral("n"), QStringLiteral("3"));
    QCommandLineOption processOption(QStringLiteral("device-process"),
                                     QStringLiteral("Run the simulated device as a process (vantrel-device-sim) "
                                                    "instead of a thread of this one."));
    QCommandLineOption turnsOption(QStringLiteral("status-turns"),
                                   QStringLiteral("Measures with the view without and with its status line, each."),
                                   QStringLiteral("n"), QStringLiteral("2"));
    QCommandLineOption monitorOption(QStringLiteral("monitor"),
                                     QStringLiteral("Only the terminal's write to the minimal device with the wire "
                                                    "monitor open, closed, and with the record off, in turns."));
    QCommandLineOption ownOption(QStringLiteral("own"),
                                 QStringLiteral("Only the window's write and read to the minimal device against the "
                                                "blocking client, in turns: the terminal's own time a block."));
    parser.addOptions({sizeOption, runsOption, processOption, turnsOption, monitorOption, ownOption});
    parser.process(app);
    const int turns = qMax(1, parser.value(turnsOption).toInt());
    const qint64 size = parser.value(sizeOption).toLongLong() * 1024;
    const int runs = qMax(1, parser.value(runsOption).toInt());

    QTemporaryDir folder;
    const QString source = folder.filePath(QStringLiteral("source.bin"));
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(20261206);
    for (char &c : data)
        c = char(generator.bounded(256));
    QFile out(source);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != size)
        return 1;
    out.close();

    if (parser.isSet(monitorOption)) {
        MinimalDevice minimal(data);
        Terminal terminal(folder.path());
        MainWindow window(terminal.udp);
        window.show();
        const std::pair<const char *, bool> settings[] = {{"record off (as before the monitor)", false},
                                                          {"record on, monitor closed", true},
                                                          {"record on, monitor open", true}};
        std::vector<Best> best(std::size(settings));
        std::vector<double> cpu(std::size(settings), 1e9); // the least processor time of the terminal's thread
        for (int turn = 0; turn < turns; ++turn) {
            for (size_t i = 0; i < std::size(settings); ++i) {
                terminal.udp.monitor.setCapacity(settings[i].second ? Monitor::Record::kCapacity : 0);
                i == 2 ? window.openMonitor() : window.monitor() ? window.monitor()->hide() : void();
                for (int run = 0; run < runs; ++run) {
                    terminal.connect(minimal.port());
                    const double seconds = terminal.transfer(true, source, "TERMINAL.BIN");
                    best[i].add(seconds, seconds >= 0);
                    cpu[i] = qMin(cpu[i], terminal.lastCpu);
                }
            }
        }
        std::printf("terminal write of %lld bytes to the minimal device, window shown, best of %d runs in %d turns:\n",
                    size, runs, turns);
        for (size_t i = 0; i < std::size(settings); ++i) {
            print(settings[i].first, size, best[i], nullptr);
            std::printf("    terminal's processor time %.3f s", cpu[i]);
            if (i > 0)
                std::printf(" (%+.1f %%); rate %+.1f %% against the record off", 100.0 * (cpu[i] / cpu[0] - 1),
                            100.0 * (best[i].rate(size) / best[0].rate(size) - 1));
            std::printf("\n");
        }
        std::printf("units in the record: %lld\n", terminal.udp.monitor.end() - terminal.udp.monitor.first());
        return 0;
    }

    if (parser.isSet(ownOption)) {
        MinimalDevice minimal(data);
        RawClient raw(minimal.port());
        const int floorLog = ::open(QFile::encodeName(folder.filePath(QStringLiteral("floor.log"))).constData(),
                                    O_WRONLY | O_CREAT | O_APPEND, 0644);
        RawClient floor(minimal.port(), floorLog);
        Terminal terminal(folder.path());
        MainWindow window(terminal.udp);
        window.show();
        runUntil([] { return false; }, 200);
        const QString readBack = folder.filePath(QStringLiteral("back.bin"));
        // The least of each over the runs: the machine's load only ever adds to them.
        struct Least {
            double seconds = 1e9, cpu = 1e9;
            bool failed = false;
            void add(double s, double c)
            {
                failed = failed || s < 0;
                seconds = qMin(seconds, s);
                cpu = qMin(cpu, c);
            }
            double time() const { return failed ? -1 : seconds; }
        };
        Least clientWrite, clientRead, floorWrite, floorRead, write, read;
        for (int run = 0; run < runs; ++run) {
            double cpu = 0;
            double s = timed([&] { return raw.write("RAW.BIN", data); }, &cpu);
            clientWrite.add(s, cpu);
            s = timed([&] { return raw.read("RAW.BIN") == data; }, &cpu);
            clientRead.add(s, cpu);
            s = timed([&] { return floor.write("FLOOR.BIN", data); }, &cpu);
            floorWrite.add(s, cpu);
            s = timed([&] { return floor.read("FLOOR.BIN") == data; }, &cpu);
            floorRead.add(s, cpu);
            terminal.connect(minimal.port());
            s = terminal.transfer(true, source, "TERMINAL.BIN");
            write.add(s, terminal.lastCpu);
            s = terminal.transfer(false, readBack, "TERMINAL.BIN");
            read.add(readFile(readBack) == data ? s : -1, terminal.lastCpu);
        }
        std::printf("window with its status line against the blocking client, minimal device, %lld bytes, least of %d "
                    "runs:\n",
                    size, runs);
        printOwn("  write", blocks(true, size), write.time(), write.cpu, clientWrite.time(), clientWrite.cpu);
        printOwn("  read", blocks(false, size), read.time(), read.cpu, clientRead.time(), clientRead.cpu);
        std::printf("the same against the floor, a blocking client that also polls for each reply and writes the "
                    "log before each command:\n");
        printOwn("  write", blocks(true, size), write.time(), write.cpu, floorWrite.time(), floorWrite.cpu);
        printOwn("  read", blocks(false, size), read.time(), read.cpu, floorRead.time(), floorRead.cpu);
        printOwn("  floor write", blocks(true, size), floorWrite.time(), floorWrite.cpu, clientWrite.time(),
                 clientWrite.cpu);
        printOwn("  floor read", blocks(false, size), floorRead.time(), floorRead.cpu, clientRead.time(),
                 clientRead.cpu);
        ::close(floorLog);
        return 0;
    }

    std::optional<DeviceThread> simThread;
    QProcess simProcess;
    quint16 simPort = 0;
    if (parser.isSet(processOption)) {
        // It says "listening on UDP 127.0.0.1:<port>" once it is up.
        simProcess.start(QStringLiteral(VANTREL_DEVICE_SIM), {QStringLiteral("--port"), QStringLiteral("0")});
        if (simProcess.waitForReadyRead(10000)) {
            const QByteArray line = simProcess.readLine().trimmed();
            simPort = line.mid(line.lastIndexOf(':') + 1).toUShort();
        }
    } else {
        simPort = simThread.emplace(serveUdpDevice).startDevice().toUShort();
    }
    if (simPort == 0) {
        std::printf("the simulated device did not start\n");
        return 0;
    }
    MinimalDevice minimal(data);
    std::printf("flash transfer of %lld bytes on 127.0.0.1: simulated device (%s), minimal device\n", size,
                parser.isSet(processOption) ? "a process" : "a thread of this process");

    RawClient rawSim(simPort), rawMinimal(minimal.port());
    Terminal terminal(folder.path());
    const QString readBack = folder.filePath(QStringLiteral("back.bin"));
    const QString batchFolder = folder.filePath(QStringLiteral("batch"));
    const auto batch = [&](quint16 port, const QStringList &verb) {
        return runBatch(QStringList{QStringLiteral("--host"), QStringLiteral("127.0.0.1:%1").arg(port),
                                    QStringLiteral("--workdir"), batchFolder} +
                        verb);
    };
    // The terminal's best write and read against the minimal device, for the status line's summary.
    struct Rates {
        double write = 0, read = 0;
        double writeCpu = 1e9, readCpu = 1e9; // the least processor time of the terminal's thread, in seconds
    };
    auto measure = [&](const char *label) -> Rates {
        Best limitWrite, limitRead, simWrite, simRead, write, read, termSimWrite, termSimRead;
        Best batchWrite, batchRead, batchSimWrite, batchSimRead;
        Rates cpu;
        double limitWriteCpu = 1e9, limitReadCpu = 1e9, rawCpu = 0;
        for (int run = 0; run < runs; ++run) {
            limitWrite.add(timed([&] { return rawMinimal.write("RAW.BIN", data); }, &rawCpu));
            limitWriteCpu = qMin(limitWriteCpu, rawCpu);
            limitRead.add(timed([&] { return rawMinimal.read("RAW.BIN") == data; }, &rawCpu));
            limitReadCpu = qMin(limitReadCpu, rawCpu);
            simWrite.add(timed([&] { return rawSim.write("RAW.BIN", data); }));
            simRead.add(timed([&] { return rawSim.read("RAW.BIN") == data; }));
            terminal.connect(minimal.port());
            const double w = terminal.transfer(true, source, "TERMINAL.BIN");
            write.add(w, w >= 0);
            cpu.writeCpu = qMin(cpu.writeCpu, terminal.lastCpu);
            const double r = terminal.transfer(false, readBack, "TERMINAL.BIN");
            read.add(r, r >= 0 && readFile(readBack) == data);
            cpu.readCpu = qMin(cpu.readCpu, terminal.lastCpu);
            terminal.connect(simPort);
            const double sw = terminal.transfer(true, source, "TERMINAL.BIN");
            termSimWrite.add(sw, sw >= 0);
            const double sr = terminal.transfer(false, readBack, "TERMINAL.BIN");
            termSimRead.add(sr, sr >= 0 && readFile(readBack) == data);
            batchWrite.add(batch(minimal.port(), {QStringLiteral("put"), source, QStringLiteral("BATCH.BIN")}));
            const double br = batch(minimal.port(), {QStringLiteral("get"), QStringLiteral("BATCH.BIN"), readBack});
            batchRead.add(br, br >= 0 && readFile(readBack) == data);
            batchSimWrite.add(batch(simPort, {QStringLiteral("put"), source, QStringLiteral("BATCH.BIN")}));
            const double bsr = batch(simPort, {QStringLiteral("get"), QStringLiteral("BATCH.BIN"), readBack});
            batchSimRead.add(bsr, bsr >= 0 && readFile(readBack) == data);
        }
        std::printf("%s, best of %d:\n", label, runs);
        print("  limit write (raw, minimal device)", size, limitWrite, nullptr);
        print("  limit read (raw, minimal device)", size, limitRead, nullptr);
        print("  terminal write, minimal device", size, write, &limitWrite);
        print("  terminal read, minimal device", size, read, &limitRead);
        print("  raw write, simulated device", size, simWrite, &limitWrite);
        print("  raw read, simulated device", size, simRead, &limitRead);
        print("  terminal write, simulated device", size, termSimWrite, &limitWrite);
        print("  terminal read, simulated device", size, termSimRead, &limitRead);
        print("  vantrel put, minimal device", size, batchWrite, &limitWrite);
        print("  vantrel get, minimal device", size, batchRead, &limitRead);
        print("  vantrel put, simulated device", size, batchSimWrite, &limitWrite);
        print("  vantrel get, simulated device", size, batchSimRead, &limitRead);
        std::printf("  terminal's own processor time, minimal device: write %.3f s, read %.3f s\n", cpu.writeCpu,
                    cpu.readCpu);
        printOwn("  terminal write, minimal device", blocks(true, size), write.seconds, cpu.writeCpu,
                 limitWrite.seconds, limitWriteCpu);
        printOwn("  terminal read, minimal device", blocks(false, size), read.seconds, cpu.readCpu, limitRead.seconds,
                 limitReadCpu);
        return {write.rate(size), read.rate(size), cpu.writeCpu, cpu.readCpu};
    };
    measure("model alone");
    auto window = std::make_unique<MainWindow>(terminal.udp);
    window->show();
    runUntil([] { return false; }, 200);
    // The window as it was before its status line, and as it is, in turns: both meet the same machine load.
    WithoutStatusLine withoutStatus(*window);
    Rates with, without;
    for (int turn = 0; turn < turns; ++turn) {
        terminal.udp.setObserver(&withoutStatus);
        const Rates before = measure("model with the offscreen view, no status line (as before)");
        terminal.udp.setObserver(window.get());
        const Rates now = measure("model with the offscreen view and its status line");
        without = {qMax(without.write, before.write), qMax(without.read, before.read),
                   qMin(without.writeCpu, before.writeCpu), qMin(without.readCpu, before.readCpu)};
        with = {qMax(with.write, now.write), qMax(with.read, now.read), qMin(with.writeCpu, now.writeCpu),
                qMin(with.readCpu, now.readCpu)};
    }
    const auto change = [](double now, double before) { return 100.0 * (now / before - 1); };
    std::printf("status line, best of %d turns, minimal device: write %.0f bytes/s with it, %.0f without (%+.1f %%), "
                "read %.0f with it, %.0f without (%+.1f %%)\n",
                turns, with.write, without.write, change(with.write, without.write), with.read, without.read,
                change(with.read, without.read));
    std::printf("status line, terminal's processor time: write %.3f s with it, %.3f without (%+.1f %%), read %.3f s "
                "with it, %.3f without (%+.1f %%)\n",
                with.writeCpu, without.writeCpu, change(with.writeCpu, without.writeCpu), with.readCpu, without.readCpu,
                change(with.readCpu, without.readCpu));
    if (simProcess.state() != QProcess::NotRunning) {
        simProcess.terminate();
        simProcess.waitForFinished(5000);
    }
    return 0;
}
