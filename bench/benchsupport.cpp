// SPDX-License-Identifier: MIT
#include "benchsupport.h"

#include "devicesim.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

double peakMemoryMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double residentMemoryMiB()
{
    // "VmRSS:     12345 kB"
    for (const QByteArray &line : readFile(QStringLiteral("/proc/self/status")).split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

void printSoakMemory(const std::vector<double> &minutes)
{
    if (minutes.size() < 3)
        return;
    const auto [low, high] = std::minmax_element(minutes.begin() + 1, minutes.end());
    std::printf("    memory after the first minute: VmRSS %.1f to %.1f MiB (spread %.1f MiB); peak %.1f MiB\n", *low,
                *high, *high - *low, peakMemoryMiB());
}

double threadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    // The thread sleeps until an event comes, as the terminal's own event loop does; the timer only
    // makes sure the condition and the time-out are looked at now and then.
    QTimer wake;
    wake.start(20);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double runBatch(const QStringList &arguments)
{
    return runProgram(QStringLiteral(VANTREL_BATCH), arguments);
}

double runProgram(const QString &program, const QStringList &arguments)
{
    QProcess batch;
    batch.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    batch.start(program, arguments);
    const bool ended = batch.waitForFinished(600000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (ended && batch.exitStatus() == QProcess::NormalExit && batch.exitCode() == 0)
        return seconds;
    std::fprintf(stderr, "%s", batch.readAllStandardError().constData());
    return -1;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int boundLoopbackSocket(quint16 *port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
    socklen_t len = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &len);
    *port = ntohs(local.sin_port);
    return fd;
}

int connectedLoopbackSocket(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in device{};
    device.sin_family = AF_INET;
    device.sin_port = htons(port);
    device.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr *>(&device), sizeof device);
    timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
}

void serveUdpDevice(DeviceThread &thread)
{
    DeviceSim::Options options;
    options.port = 0;
    DeviceSim device(options);
    thread.serve(device.start(&thread.error) ? QString::number(device.port()) : QString());
}

UdpFlood::UdpFlood(quint16 port, int size, bool bareLf) : m_port(port), m_size(size), m_bareLf(bareLf)
{
    m_fd = boundLoopbackSocket(&m_sourcePort);
}

UdpFlood::~UdpFlood()
{
    wait();
    ::close(m_fd);
}

void UdpFlood::start(int count, int rate)
{
    wait();
    m_sent = 0;
    m_finished = false;
    m_thread = std::thread([this, count, rate] { run(count, rate); });
}

void UdpFlood::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

void UdpFlood::run(int count, int rate)
{
    using Clock = std::chrono::steady_clock;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A console line of the device: a sequence number, filler, CR LF (or LF).
    QByteArray line(m_size, 'x');
    if (!m_bareLf)
        line[m_size - 2] = '\r';
    line[m_size - 1] = '\n';
    const auto begin = Clock::now();
    for (int i = 0; i < count; ++i) {
        if (rate > 0) {
            const auto due = begin + std::chrono::microseconds(qint64(i) * 1000000 / rate);
            while (Clock::now() < due)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        const QByteArray number = QByteArray::number(i);
        std::copy(number.begin(), number.end(), line.begin());
        ::sendto(m_fd, line.constData(), size_t(line.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
        ++m_sent;
    }
    m_finished = true;
}
