// SPDX-License-Identifier: MIT
// BASIC program download and listing: a program of up to 2048 lines sent line by line through the terminal
// model and listed back into a file, against the simulated device, next to a minimal blocking client that
// speaks the same line/OK exchange to the same device. Each link is a Leg: UDP on loopback, and the serial
// line through a pseudo-terminal at 115200 baud, where the terminal also stands against the floor its own
// protocol sets (one 20 ms poll per program line; the listing's bytes at the line's speed).
#include "benchsupport.h"

#include "app/window.h"
#include "devicesim.h"
#include "gui/mainwindow.h"
#include "platform/platform.h"
#include "platform/qt/qtmscomm.h"
#include "platform/qt/qtwinsock.h"
#include "ptydevicesim.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace
{
constexpr int kBaud = 115200;

/// The real clock and no ARP flush, and the time spent in the blocking waits counted.
class TimedSystem : public BenchSystem
{
public:
    void sleep(int ms) override
    {
        QElapsedTimer clock;
        clock.start();
        BenchSystem::sleep(ms);
        slept += clock.nsecsElapsed() / 1e9;
    }
    double slept = 0;
};

/// Seconds a step took, or -1 when it failed.
double timed(const std::function<bool()> &step)
{
    QElapsedTimer clock;
    clock.start();
    const bool ok = step();
    return ok ? clock.nsecsElapsed() / 1e9 : -1;
}

/// One link to the device: the same program goes down and comes back through the terminal and through the
/// raw client. Each call returns seconds, or -1 when the exchange failed or the listing differs.
class Leg
{
public:
    virtual ~Leg() = default;
    virtual const char *name() const = 0;
    virtual double rawDownload(const QByteArrayList &lines) = 0;
    virtual double rawList(const QByteArray &expected) = 0;
    virtual double download(const QString &path) = 0;
    virtual double list(const QString &path, const QByteArray &expected) = 0;
    /// Seconds of the terminal's last exchange spent in the blocking waits it makes on purpose.
    virtual double waited() const = 0;
    /// The terminal's window model, for a second round with the window drawn.
    virtual UDP &model() = 0;
    /// Seconds the terminal's own protocol needs at least for these exchanges; -1 when it sets none.
    virtual double downloadFloor(int) const { return -1; }
    virtual double listingFloor(qsizetype) const { return -1; }
};

/// The terminal's side of a leg: the program goes down through Command10 and comes back through Command11.
class TerminalLeg : public Leg
{
public:
    double download(const QString &path) override
    {
        m_dialog.answer = path;
        m_system.slept = 0;
        return timed([&] {
            m_udp.Command10_Click();
            // Done when the device has answered the last line too: a listing started earlier would take
            // that answer for its end.
            const QByteArray done = "SEND BASIC PROGRAM COMPLETED\r\nOK\r\n";
            return runUntil([&] { return m_udp.tbReceiveData.Text() == done; }, 600000);
        });
    }
    double list(const QString &path, const QByteArray &expected) override
    {
        m_dialog.answer = path;
        m_system.slept = 0;
        return timed([&] {
            m_udp.Command11_Click();
            return runUntil([&] { return m_udp.ProgSaveMode == 0; }, 600000) && readFile(path) == expected;
        });
    }
    double waited() const override { return m_system.slept; }
    UDP &model() override { return m_udp; }

protected:
    QtWinsock m_winsock;
    QtMSComm m_mscomm;
    BenchDialog m_dialog;
    BenchMessageBox m_boxes;
    TimedSystem m_system;
    UDP m_udp{Platform{m_winsock, m_mscomm, m_dialog, m_boxes, m_system}};
};

/// The floor on UDP: one blocking socket, each line waiting for its reply.
class RawUdpClient
{
public:
    explicit RawUdpClient(quint16 port)
    {
        m_fd = connectedLoopbackSocket(port);
        // The listing comes as a burst of datagrams: the same room for them as the terminal's socket has.
        const int room = 4 * 1024 * 1024;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
    }
    ~RawUdpClient() { ::close(m_fd); }

    bool download(const QByteArrayList &lines)
    {
        for (const QByteArray &line : lines) {
            send(line + "\r\n");
            if (!receive().contains("OK"))
                return false;
        }
        return true;
    }
    QByteArray list()
    {
        send("LIST\r\n");
        QByteArray listing;
        for (QByteArray reply = receive(); !reply.isEmpty() && !reply.left(5).contains("OK"); reply = receive())
            listing += reply;
        return listing;
    }

private:
    void send(const QByteArray &line) { ::send(m_fd, line.constData(), size_t(line.size()), 0); }
    QByteArray receive()
    {
        char buffer[2048];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }
    int m_fd = -1;
};

/// The terminal on its real UDP socket, connected to the device, next to the raw client.
class UdpLeg : public TerminalLeg
{
public:
    UdpLeg(const QString &folder, quint16 devicePort) : m_raw(devicePort)
    {
        QDir::setCurrent(folder);
        m_udp.Form_Load();
        m_udp.ComboRemoteIP.setText("127.0.0.1");
        m_udp.tbRemotePort.setText(QByteArray::number(devicePort));
        m_udp.tbLocalPort.setText("0");
        m_udp.cbBind_Click();
    }
    const char *name() const override { return "UDP"; }
    double rawDownload(const QByteArrayList &lines) override
    {
        return timed([&] { return m_raw.download(lines); });
    }
    double rawList(const QByteArray &expected) override
    {
        return timed([&] { return m_raw.list() == expected; });
    }

private:
    RawUdpClient m_raw;
};

/// The floor on the serial line: the terminal end opened as a plain blocking file, each line waiting for its
/// reply, with no poll in between.
class RawSerialClient
{
public:
    bool open(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios line{};
        if (m_fd < 0 || ::tcgetattr(m_fd, &line) != 0)
            return false;
        ::cfmakeraw(&line);
        return ::tcsetattr(m_fd, TCSANOW, &line) == 0;
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(std::exchange(m_fd, -1));
        m_buffer.clear();
    }
    bool download(const QByteArrayList &lines)
    {
        for (const QByteArray &line : lines) {
            send(line + "\r\n");
            if (!readLine().contains("OK"))
                return false;
        }
        return true;
    }
    QByteArray list()
    {
        send("LISt\r\n");
        QByteArray listing;
        for (QByteArray line = readLine(); !line.isEmpty() && !line.left(5).contains("OK"); line = readLine())
            listing += line;
        return listing;
    }

private:
    void send(const QByteArray &bytes) { ::write(m_fd, bytes.constData(), size_t(bytes.size())); }
    /// One reply line with its line end; empty after 5 s of silence.
    QByteArray readLine()
    {
        for (qsizetype lf; (lf = m_buffer.indexOf('\n')) < 0;) {
            pollfd wait{m_fd, POLLIN, 0};
            char chunk[4096];
            const ssize_t n = ::poll(&wait, 1, 5000) == 1 ? ::read(m_fd, chunk, sizeof chunk) : -1;
            if (n <= 0)
                return {};
            m_buffer.append(chunk, n);
        }
        const qsizetype end = m_buffer.indexOf('\n') + 1;
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end);
        return line;
    }
    int m_fd = -1;
    QByteArray m_buffer;
};

/// The terminal on its real serial port 3, the pseudo-terminal's end, in plain text mode; the raw client
/// uses the same end while the terminal's port is closed.
class SerialLeg : public TerminalLeg
{
public:
    SerialLeg(const QString &folder, const QString &path) : m_path(path)
    {
        QDir::setCurrent(folder);
        qputenv("VANTREL_COM3", QFile::encodeName(path));
        m_udp.Form_Load();
    }
    ~SerialLeg() override { usePort(false); }
    const char *name() const override { return "serial, 115200 baud"; }
    double rawDownload(const QByteArrayList &lines) override
    {
        return usePort(false) && m_raw.open(m_path) ? timed([&] { return m_raw.download(lines); }) : -1;
    }
    double rawList(const QByteArray &expected) override
    {
        return usePort(false) && m_raw.open(m_path) ? timed([&] { return m_raw.list() == expected; }) : -1;
    }
    double download(const QString &path) override { return usePort(true) ? TerminalLeg::download(path) : -1; }
    double list(const QString &path, const QByteArray &expected) override
    {
        return usePort(true) ? TerminalLeg::list(path, expected) : -1;
    }
    double downloadFloor(int lines) const override { return lines * m_udp.TMRComm.Interval() / 1000.0; }
    double listingFloor(qsizetype bytes) const override { return bytes * 10.0 / kBaud; }

private:
    /// The terminal's port open (true) or closed with the raw client's end (false): one reader at a time.
    bool usePort(bool terminal)
    {
        m_raw.close();
        if ((m_udp.PortOpened == 1) != terminal)
            m_udp.BTNOpenCom_Click();
        return (m_udp.PortOpened == 1) == terminal;
    }
    QString m_path;
    RawSerialClient m_raw;
};

/// The best of several runs: a stop-and-wait exchange over loopback depends on how fast each thread wakes.
struct Best {
    double seconds = -1;
    double waited = 0; // of the best run
    bool failed = false;
    void add(double s, double w = 0)
    {
        failed = failed || s < 0;
        if (s >= 0 && (seconds < 0 || s < seconds)) {
            seconds = s;
            waited = w;
        }
    }
};

/// `protocol` is the least the terminal's own protocol needs, or -1 when it sets none.
void print(const char *what, int lines, const Best &best, const Best *floor, double protocol = -1)
{
    if (best.failed || best.seconds <= 0) {
        std::printf("  %-20s FAILED\n", what);
        return;
    }
    std::printf("  %-20s %7.3f s  %7.0f lines/s", what, best.seconds, lines / best.seconds);
    // The terminal waits 0.1 s on purpose before it sends; the exchange itself is the rest.
    const double exchange = best.seconds - best.waited;
    if (floor && floor->seconds > 0)
        std::printf("  exchange %.3f s  terminal/raw %.2f", exchange, exchange / floor->seconds);
    if (protocol > 0)
        std::printf("  protocol floor %.3f s  terminal/floor %.2f", protocol, exchange / protocol);
    std::printf("  peak %.1f MiB\n", peakMemoryMiB());
    std::fflush(stdout);
}

void measure(Leg &leg, const char *label, int runs, const QByteArrayList &lines, const QString &folder)
{
    const QByteArray program = lines.join("\r\n") + "\r\n";
    const QString source = folder + QStringLiteral("/prog.bas"), back = folder + QStringLiteral("/back.bas");
    QFile out(source);
    if (!out.open(QIODevice::WriteOnly) || out.write(program) != program.size())
        return;
    out.close();
    Best rawDown, rawList, down, list;
    for (int run = 0; run < runs; ++run) {
        rawDown.add(leg.rawDownload(lines));
        rawList.add(leg.rawList(program));
        const double d = leg.download(source);
        down.add(d, leg.waited());
        const double l = leg.list(back, program);
        list.add(l, leg.waited());
    }
    std::printf("%s, %s, best of %d:\n", leg.name(), label, runs);
    print("raw client download", int(lines.size()), rawDown, nullptr);
    print("raw client listing", int(lines.size()), rawList, nullptr);
    // The device ends the listing with OK and CR LF.
    print("terminal download", int(lines.size()), down, &rawDown, leg.downloadFloor(int(lines.size())));
    print("terminal listing", int(lines.size()), list, &rawList, leg.listingFloor(program.size() + 4));
}
} // namespace

void udpLink(int runs, const QByteArrayList &lines, const QString &folder)
{
    DeviceThread device(serveUdpDevice);
    const quint16 port = device.startDevice().toUShort();
    std::printf("UDP: simulated device on 127.0.0.1:%u\n", port);
    UdpLeg udp(folder, port);
    measure(udp, "model alone", runs, lines, folder);
    auto window = std::make_unique<MainWindow>(udp.model());
    window->show();
    runUntil([] { return false; }, 200);
    measure(udp, "model with the offscreen view", runs, lines, folder);
}

void serialLink(int runs, const QByteArrayList &lines, const QString &folder)
{
    DeviceThread device([](DeviceThread &thread) {
        PtyDeviceSim pty({.baud = kBaud});
        thread.serve(pty.start(&thread.error) ? pty.path() : QString());
    });
    const QString path = device.startDevice();
    if (path.isEmpty()) {
        std::printf("serial: no pseudo-terminal (%s), nothing to measure\n", qPrintable(device.error));
        return;
    }
    std::printf("serial: simulated device on %s at %d baud, plain text; the window's own timer polls\n",
                qPrintable(path), kBaud);
    SerialLeg serial(folder, path);
    // Only the view runs the 20 ms poll: the model alone would never read the port.
    auto window = std::make_unique<MainWindow>(serial.model());
    window->show();
    runUntil([] { return false; }, 200);
    measure(serial, "model with the offscreen view", runs, lines, folder);
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")).toUtf8());
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Program download and listing benchmark: prints figures."));
    parser.addHelpOption();
    QCommandLineOption linesOption(QStringLiteral("lines"), QStringLiteral("Program lines (at most 2048)."),
                                   QStringLiteral("n"), QStringLiteral("2048"));
    QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs of each exchange; the best counts."),
                                  QStringLiteral("n"), QStringLiteral("3"));
    QCommandLineOption linkOption(QStringLiteral("link"), QStringLiteral("udp, serial or both."),
                                  QStringLiteral("link"), QStringLiteral("both"));
    parser.addOptions({linesOption, runsOption, linkOption});
    parser.process(app);
    const int count = qBound(1, parser.value(linesOption).toInt(), 2048);
    const int runs = qMax(1, parser.value(runsOption).toInt());
    const QString link = parser.value(linkOption);

    // Written as the device lists them (number, blank, statement), so that the listing equals the file.
    QByteArrayList lines;
    for (int n = 1; n <= count; ++n)
        lines << QByteArray::number(n) + " PRINT \"LINE " + QByteArray::number(n) + "\"";

    std::printf("program of %d lines; the terminal's times include its 0.1 s wait before the first line and "
                "before LIST; its exchange leaves that out\n",
                count);
    // Each link in a folder of its own, with its own log.
    QTemporaryDir folder;
    for (const QString &name : {QStringLiteral("udp"), QStringLiteral("serial")}) {
        if (link != name && link != QStringLiteral("both"))
            continue;
        const QString dir = folder.filePath(name);
        QDir().mkpath(dir);
        if (name == QStringLiteral("udp"))
            udpLink(runs, lines, dir);
        else
            serialLink(runs, lines, dir);
    }
    return 0;
}
