// SPDX-License-Identifier: MIT
// Serial line: (a) the simulated device prints console text at 115200 baud through a pseudo-terminal to the
// terminal with its offscreen view, for --seconds: bytes lost (the log and the pane against what was sent),
// the terminal thread's CPU time per second of traffic, and the largest chunk one poll saw; (b) VER round
// trips a second in the RTU form, against the limit the 20 ms poll sets (at best one reply a poll, 50 a second).
// With --soak MINUTES instead: console text at 115200 baud for that long, after the pane has been full for a while,
// the resident memory each minute, and at the end the bytes sent against those received and how flat the memory
// stayed.
// With --repeat MINUTES instead: a saved command repeated every --interval ms (default 20) from the side panel's
// repeat, answered by a device that notes when each command arrives: the median and 99th percentile of the gaps
// between arrivals each minute and over the whole run, and the resident memory each minute (--pane-kib keeps the
// receive pane smaller, so that what the pane keeps of the exchange does not hide what the repeat itself costs).
#include "benchsupport.h"

#include "app/window.h"
#include "gui/mainwindow.h"
#include "gui/receivepane.h"
#include "platform/platform.h"
#include "platform/qt/qtmscomm.h"
#include "platform/qt/qtwinsock.h"
#include "ptydevicesim.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

constexpr int kBaud = 115200;
constexpr int kBytesPerSecond = kBaud / 10;

/// Console text that never repeats a line, so that a lost or doubled chunk shows.
QByteArray consoleText(qint64 size)
{
    QByteArray text;
    text.reserve(size + 64);
    for (qint64 line = 0; text.size() < size; ++line)
        text += "COUNT " + QByteArray::number(line).rightJustified(8, '0') + " PULSES " +
                QByteArray::number(line * 7919 % 100000).rightJustified(5, '0') + "\r\n";
    text.truncate(size);
    return text;
}

/// CPU time of the calling thread, in seconds.
double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}
/// What the device prints once asked. The text is written before `printing` is set and read only after.
struct Printout {
    QByteArray text;
    std::atomic<bool> printing{false};
};

/// The device on its pseudo-terminal, on the thread of `thread`: once asked, it prints the text at its line's
/// pace, keeping a little of it queued at all times.
void servePrintout(DeviceThread &thread, Printout &out)
{
    PtyDeviceSim device({.baud = kBaud});
    if (!device.start(&thread.error))
        return thread.serve({});
    QTimer feed;
    qsizetype printed = 0;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        if (!out.printing || printed >= out.text.size() || device.queued() > 4096)
            return;
        const qsizetype chunk = qMin<qsizetype>(4096, out.text.size() - printed);
        device.print(QByteArrayView(out.text).sliced(printed, chunk));
        printed += chunk;
    });
    feed.start(10);
    thread.serve(device.path());
}

/// The real serial port, counting what each poll takes from it.
class CountingPort : public QtMSComm
{
public:
    QByteArray input() override
    {
        const QByteArray bytes = QtMSComm::input();
        largestChunk = qMax(largestChunk, bytes.size());
        received += bytes.size();
        return bytes;
    }
    qsizetype largestChunk = 0;
    qint64 received = 0;
};

/// The window model on the real serial port with the offscreen view, port 3 open.
struct Terminal {
    explicit Terminal(const QString &folder)
    {
        QDir::setCurrent(folder);
        udp.Form_Load();
        udp.BTNOpenCom_Click();
        window.show();
    }
    qint64 logSize() const { return QFileInfo(QStringLiteral("Terminal.log")).size(); }
    QByteArray logFrom(qint64 offset) const
    {
        QFile log(QStringLiteral("Terminal.log"));
        return log.open(QIODevice::ReadOnly) && log.seek(offset) ? log.readAll() : QByteArray();
    }

    QtWinsock winsock;
    CountingPort mscomm;
    BenchDialog dialog;
    BenchMessageBox boxes;
    BenchSystem system;
    UDP udp{Platform{winsock, mscomm, dialog, boxes, system}};
    MainWindow window{udp};
};

void consoleFlood(Terminal &terminal, Printout &out, int seconds)
{
    const QByteArray text = consoleText(qint64(seconds) * kBytesPerSecond);
    terminal.udp.tbReceiveData.setText({});
    const qint64 logStart = terminal.logSize();
    const qint64 receivedBefore = terminal.mscomm.received;
    terminal.mscomm.largestChunk = 0;
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = threadCpuSeconds();
    out.text = text;
    out.printing = true;
    // The line needs `seconds`; a few more let the last bytes arrive, then nothing more is coming.
    runUntil([&] { return terminal.mscomm.received - receivedBefore >= text.size(); }, (seconds + 10) * 1000);
    const double elapsed = clock.nsecsElapsed() / 1e9;
    const double cpu = threadCpuSeconds() - cpuStart;
    runUntil([] { return false; }, 100); // the view's last frame

    const QByteArray logged = terminal.logFrom(logStart);
    const QByteArray pane = terminal.udp.tbReceiveData.Text();
    const bool logExact = logged == text;
    const bool paneTail = !pane.isEmpty() && text.endsWith(pane);
    std::printf("(a) console text at %d baud for %d s: sent %lld bytes in %.1f s (%.0f bytes/s, line %d)\n", kBaud,
                seconds, qint64(text.size()), elapsed, text.size() / elapsed, kBytesPerSecond);
    std::printf("    lost %lld; log %s; pane holds the last %lld bytes, %s\n",
                qMax<qint64>(0, text.size() - (terminal.mscomm.received - receivedBefore)),
                logExact ? "identical" : "DIFFERENT", qint64(pane.size()), paneTail ? "identical" : "DIFFERENT");
    std::printf("    terminal thread CPU %.1f ms per second of traffic (%.1f%%); largest chunk one poll saw %lld "
                "bytes (a 20 ms poll at %d baud: %d)\n",
                cpu * 1000 / elapsed, cpu * 100 / elapsed, qint64(terminal.mscomm.largestChunk), kBaud,
                kBytesPerSecond / 50);
    std::fflush(stdout);
}

void rtuRoundTrips(Terminal &terminal, int seconds)
{
    UDP &w = terminal.udp;
    w.Check1.setValue(1);
    w.Check3.setValue(0);
    // The reply to VER from station 16: "VER 3.1 SIM" CR LF in a frame of 18 bytes.
    const qint64 replySize = 18;
    qint64 trips = 0;
    qint64 expected = terminal.mscomm.received;
    const auto send = [&] {
        w.tbSendData.setText("VER");
        qint16 key = 13;
        w.tbSendData_KeyPress(key);
        expected += replySize;
    };
    QElapsedTimer clock;
    clock.start();
    send();
    runUntil(
        [&] {
            if (terminal.mscomm.received >= expected) {
                ++trips;
                if (clock.elapsed() < seconds * 1000)
                    send();
            }
            return clock.elapsed() >= seconds * 1000 && terminal.mscomm.received >= expected;
        },
        (seconds + 5) * 1000);
    const double elapsed = clock.nsecsElapsed() / 1e9;
    const bool replied = w.tbReceiveData.Text().endsWith("VER 3.1 SIM\r\n");
    std::printf("(b) VER in RTU frames: %lld round trips in %.1f s, %.1f a second (the 20 ms poll allows 50); "
                "last reply %s\n",
                trips, elapsed, trips / elapsed, replied ? "shown" : "MISSING");
    std::fflush(stdout);
    w.Check1.setValue(0);
}

/// Hours of a talkative device in minutes: memory must settle once the receive pane holds its fill. At this
/// line's pace the pane takes 12 minutes to fill its 8 MB, and as long again to have all its text cut once; so the
/// soak starts where a long session stands: three panes' worth of earlier console text have gone through the pane
/// and the view, in the pieces a frame shows at this pace.
void soak(Terminal &terminal, Printout &out, int minutes)
{
    // Only what the pane can hold of the earlier text is kept for the check at the end: the soak measures the
    // terminal's memory, not the bench's.
    QByteArray earlier = consoleText(3 * terminal.udp.tbReceiveData.maxBytes());
    constexpr qsizetype kFramePiece = 1024;
    for (qsizetype at = 0; at < earlier.size(); at += kFramePiece) {
        terminal.udp.tbReceiveData.append(earlier.mid(at, kFramePiece));
        terminal.window.flush();
    }
    earlier = earlier.right(terminal.udp.tbReceiveData.maxBytes());
    runUntil([] { return false; }, 1000);
    const QByteArray text = consoleText(qint64(minutes) * 60 * kBytesPerSecond);
    const qint64 logStart = terminal.logSize();
    std::printf("soak: console text at %d baud for %d min, the view attached, the pane full at %lld KiB\n", kBaud,
                minutes, qint64(terminal.udp.tbReceiveData.maxBytes() / 1024));
    std::vector<double> memory{residentMemoryMiB()};
    std::printf("    minute  0: VmRSS %7.1f MiB\n", memory.back());
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    out.text = text;
    out.printing = true;
    for (int minute = 1; minute <= minutes; ++minute) {
        runUntil([&] { return clock.elapsed() >= minute * 60000LL; }, 61000);
        memory.push_back(residentMemoryMiB());
        std::printf("    minute %2d: VmRSS %7.1f MiB, %lld bytes received\n", minute, memory.back(),
                    terminal.mscomm.received);
        std::fflush(stdout);
    }
    // The last bytes are still on the line.
    runUntil([&] { return terminal.mscomm.received >= text.size(); }, 30000);
    runUntil([] { return false; }, 100); // the view's last frame
    const QByteArray pane = terminal.udp.tbReceiveData.Text();
    std::printf("    sent %lld bytes, received %lld, lost %lld; log %s; pane holds the last %lld bytes, %s\n",
                qint64(text.size()), terminal.mscomm.received, qint64(text.size()) - terminal.mscomm.received,
                terminal.logFrom(logStart) == text ? "identical" : "DIFFERENT", qint64(pane.size()),
                (earlier + text).endsWith(pane) ? "identical" : "DIFFERENT");
    printSoakMemory(memory);
}

/// A device at the far end of a pseudo-terminal, on a thread of its own: it notes when each line arrives and
/// answers it with OK, as fast as the line lets it.
class ArrivalClock
{
public:
    bool start(QString *error)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        const char *name =
            m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0 ? ::ptsname(m_master) : nullptr;
        if (!name) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        path = QString::fromLocal8Bit(name);
        m_thread = std::thread([this] { run(); });
        return true;
    }
    ~ArrivalClock()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_master >= 0)
            ::close(m_master);
    }
    /// The gaps between arrivals noted since the last call, in microseconds.
    std::vector<qint64> takeGaps()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_gaps, {});
    }
    QString path;

private:
    void run()
    {
        char buffer[4096];
        qint64 last = -1;
        while (!m_stop) {
            pollfd fd{m_master, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0 || !(fd.revents & POLLIN))
                continue;
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            const qint64 now = std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count();
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n')
                    continue;
                if (last >= 0) {
                    const std::lock_guard lock(m_mutex);
                    m_gaps.push_back(now - last);
                }
                last = now;
                if (::write(m_master, "OK\r\n", 4) != 4)
                    continue;
            }
        }
    }

    int m_master = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<qint64> m_gaps;
};

/// "median 20.0 ms, 99th percentile 21.3 ms (3000 gaps)".
QString gapFigures(std::vector<qint64> gaps)
{
    if (gaps.empty())
        return QStringLiteral("no gaps");
    std::sort(gaps.begin(), gaps.end());
    const auto at = [&](double share) { return gaps[std::min(gaps.size() - 1, size_t(share * double(gaps.size())))]; };
    return QStringLiteral("median %1 ms, 99th percentile %2 ms (%3 gaps)")
        .arg(at(0.5) / 1000.0, 0, 'f', 2)
        .arg(at(0.99) / 1000.0, 0, 'f', 2)
        .arg(gaps.size());
}

/// A saved command repeated every `intervalMs` over the serial line for `minutes`, the window attached.
void repeatOnTheLine(int minutes, int intervalMs, qsizetype paneBytes)
{
    ArrivalClock device;
    QString error;
    if (!device.start(&error)) {
        std::printf("no pseudo-terminal (%s): nothing to measure\n", qPrintable(error));
        return;
    }
    qputenv("VANTREL_COM3", QFile::encodeName(device.path));
    QTemporaryDir folder;
    Terminal terminal(folder.path());
    if (terminal.udp.PortOpened != 1) {
        std::printf("the terminal could not open %s: nothing to measure\n", qPrintable(device.path));
        return;
    }
    if (paneBytes > 0)
        terminal.udp.tbReceiveData.setMaxBytes(paneBytes);
    terminal.udp.offerCommandList({"Bench", {{"Ping", "PING", true, intervalMs}}});
    std::printf("repeat: \"PING\" every %d ms over %s at 115200 baud for %d min, answered OK, the view attached, "
                "the pane kept to %lld KiB\n",
                intervalMs, qPrintable(device.path), minutes, qint64(terminal.udp.tbReceiveData.maxBytes() / 1024));
    std::printf("    minute  0: VmRSS %7.1f MiB\n", residentMemoryMiB());
    std::fflush(stdout);
    terminal.udp.SavedCommand_Click(0);
    std::vector<qint64> all;
    QElapsedTimer clock;
    clock.start();
    for (int minute = 1; minute <= minutes; ++minute) {
        runUntil([&] { return clock.elapsed() >= minute * 60000LL; }, 61000);
        const std::vector<qint64> gaps = device.takeGaps();
        all.insert(all.end(), gaps.begin(), gaps.end());
        std::printf("    minute %2d: gaps %s; VmRSS %7.1f MiB\n", minute, qPrintable(gapFigures(gaps)),
                    residentMemoryMiB());
        std::fflush(stdout);
    }
    terminal.udp.StopRepeat_Click();
    std::printf("    whole run: gaps %s; %s\n", qPrintable(gapFigures(all)),
                terminal.udp.repeating() ? "STILL REPEATING" : "stopped");
    terminal.udp.BTNOpenCom_Click();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")).toUtf8());
    QApplication app(argc, argv);
    ReceivePane::returnFreedMemory(); // as the terminal does
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serial line benchmark: prints figures, never fails."));
    parser.addHelpOption();
    QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Seconds of console text."),
                                     QStringLiteral("n"), QStringLiteral("60"));
    QCommandLineOption rtuOption(QStringLiteral("rtu-seconds"), QStringLiteral("Seconds of RTU round trips."),
                                 QStringLiteral("n"), QStringLiteral("10"));
    QCommandLineOption soakOption(QStringLiteral("soak"), QStringLiteral("Minutes of steady console text, alone."),
                                  QStringLiteral("minutes"));
    QCommandLineOption paneOption(QStringLiteral("pane-kib"),
                                  QStringLiteral("The receive pane's limit during the soak or the repeat, in KiB."),
                                  QStringLiteral("n"));
    QCommandLineOption repeatOption(QStringLiteral("repeat"),
                                    QStringLiteral("Minutes of a saved command repeated on the line, alone."),
                                    QStringLiteral("minutes"));
    QCommandLineOption intervalOption(QStringLiteral("interval"), QStringLiteral("The repeat's interval in ms."),
                                      QStringLiteral("ms"), QStringLiteral("20"));
    parser.addOptions({secondsOption, rtuOption, soakOption, paneOption, repeatOption, intervalOption});
    parser.process(app);
    if (parser.isSet(repeatOption)) {
        repeatOnTheLine(qMax(1, parser.value(repeatOption).toInt()), qMax(10, parser.value(intervalOption).toInt()),
                        parser.isSet(paneOption) ? qMax(1, parser.value(paneOption).toInt()) * qsizetype(1024) : 0);
        return 0;
    }
    const int seconds = qMax(1, parser.value(secondsOption).toInt());
    const int rtuSeconds = qMax(1, parser.value(rtuOption).toInt());

    Printout out;
    DeviceThread device([&out](DeviceThread &thread) { servePrintout(thread, out); });
    const QString path = device.startDevice();
    if (path.isEmpty()) {
        std::printf("no pseudo-terminal (%s): nothing to measure\n", qPrintable(device.error));
        return 0;
    }
    qputenv("VANTREL_COM3", QFile::encodeName(path));
    QTemporaryDir folder;
    Terminal terminal(folder.path());
    if (terminal.udp.PortOpened != 1) {
        std::printf("the terminal could not open %s: nothing to measure\n", qPrintable(path));
        return 0;
    }
    std::printf("serial line: simulated device on %s, the terminal with its offscreen view\n", qPrintable(path));
    runUntil([] { return false; }, 200);
    if (parser.isSet(soakOption)) {
        if (parser.isSet(paneOption))
            terminal.udp.tbReceiveData.setMaxBytes(qMax(1, parser.value(paneOption).toInt()) * qsizetype(1024));
        soak(terminal, out, qMax(1, parser.value(soakOption).toInt()));
    } else {
        consoleFlood(terminal, out, seconds);
        rtuRoundTrips(terminal, rtuSeconds);
    }
    // The port closes before the device goes, as a user would close it before unplugging.
    terminal.udp.BTNOpenCom_Click();
    return 0;
}
