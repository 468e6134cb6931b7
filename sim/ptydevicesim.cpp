// SPDX-License-Identifier: MIT
#include "ptydevicesim.h"

#include "serial/modbus.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace
{

// A console line longer than this is noise: it is answered once with an error and thrown away.
constexpr qsizetype kMaxLine = 1024;
// Output nobody reads is not kept beyond this.
constexpr qsizetype kMaxQueued = 1024 * 1024;
// The terminal drops a partial reply after 100 ms of silence; the device does the same with a request.
constexpr int kFrameSilenceMs = 100;
// A short pace tick keeps the chunks a reader sees close to what a real line delivers.
constexpr int kPaceTickMs = 2;
// A late tick may catch up this much of the line's time, no more.
constexpr double kMaxCatchUpSeconds = 0.05;
constexpr char kSender[] = "serial";
constexpr char kLineTooLong[] = "ERROR line too long";

/// A byte that no console line starts with: it may begin a frame, for this station or another.
bool isControl(uchar byte)
{
    return byte < 32 && byte != '\t' && byte != '\r' && byte != '\n';
}

void trace(const char *direction, QByteArrayView bytes)
{
    std::fprintf(stderr, "%s pty \"%s\"\n", direction, DeviceConsole::escaped(bytes).constData());
}

#if defined(Q_OS_UNIX)
QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}
#endif

} // namespace

PtyDeviceSim::PtyDeviceSim(Options options, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_console(m_options.console)
{
    m_frameSilence.setSingleShot(true);
    m_frameSilence.setInterval(kFrameSilenceMs);
    connect(&m_frameSilence, &QTimer::timeout, this, [this] { m_rx.clear(); });
    m_pace.setTimerType(Qt::PreciseTimer);
    m_pace.setInterval(kPaceTickMs);
    connect(&m_pace, &QTimer::timeout, this, &PtyDeviceSim::pump);
    m_clock.start();
}

PtyDeviceSim::~PtyDeviceSim()
{
    stop();
}

bool PtyDeviceSim::start(QString *error)
{
    stop();
    QString why;
#if defined(Q_OS_UNIX)
    const auto failed = [&](const char *what) {
        why = systemError(what);
        return false;
    };
    const auto openPair = [&] {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0)
            return failed("posix_openpt");
        if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return failed("grantpt/unlockpt");
        const char *name = ::ptsname(m_master);
        if (!name)
            return failed("ptsname");
        m_path = QString::fromLocal8Bit(name);
        if (::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0 ||
            ::fcntl(m_master, F_SETFD, FD_CLOEXEC) != 0)
            return failed("fcntl");
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_slave < 0)
            return failed("open the terminal end");
        // A transparent line: no echo, no line editing, no CR LF translation, 8 bits.
        termios line{};
        if (::tcgetattr(m_slave, &line) != 0)
            return failed("tcgetattr");
        ::cfmakeraw(&line);
        ::cfsetispeed(&line, B115200);
        ::cfsetospeed(&line, B115200);
        if (::tcsetattr(m_slave, TCSANOW, &line) != 0)
            return failed("tcsetattr");
        return true;
    };
    if (!openPair() || !m_console.prepare(&why) || !makeLink(&why)) {
        stop();
        if (error)
            *error = why;
        return false;
    }
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyDeviceSim::readMaster);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyDeviceSim::pump);
    return true;
#else
    why = QStringLiteral("pseudo-terminals need a Unix system");
    if (error)
        *error = why;
    return false;
#endif
}

bool PtyDeviceSim::makeLink(QString *error)
{
    if (m_options.link.isEmpty())
        return true;
    const QFileInfo existing(m_options.link);
    // Only a link of ours from an earlier run is replaced; a real file is never deleted.
    if (existing.isSymLink())
        QFile::remove(m_options.link);
    else if (existing.exists()) {
        *error = QStringLiteral("%1 exists and is not a symbolic link").arg(m_options.link);
        return false;
    }
    if (!QFile::link(m_path, m_options.link)) {
        *error = QStringLiteral("cannot create the link %1").arg(m_options.link);
        return false;
    }
    return true;
}

void PtyDeviceSim::stop()
{
    m_console.reset();
    delete std::exchange(m_readNotifier, nullptr);
    delete std::exchange(m_writeNotifier, nullptr);
    m_pace.stop();
    m_frameSilence.stop();
#if defined(Q_OS_UNIX)
    if (m_slave >= 0)
        ::close(std::exchange(m_slave, -1));
    if (m_master >= 0)
        ::close(std::exchange(m_master, -1));
#endif
    if (!m_options.link.isEmpty() && !m_path.isEmpty() && QFileInfo(m_options.link).symLinkTarget() == m_path)
        QFile::remove(m_options.link);
    m_path.clear();
    m_rx.clear();
    m_afterCr = false;
    m_skipLine = false;
    m_tx.clear();
    m_txHead = 0;
}

void PtyDeviceSim::readMaster()
{
#if defined(Q_OS_UNIX)
    char buffer[4096];
    // A bounded number of reads a turn, so that a terminal writing flat out cannot starve the event loop.
    for (int reads = 0; reads < 16 && m_master >= 0; ++reads) {
        const ssize_t got = ::read(m_master, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // EIO would mean the terminal end is gone for good; we hold it open, but never spin on it.
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                m_readNotifier->setEnabled(false);
            break;
        }
        if (m_options.verbose)
            trace("<-", QByteArrayView(buffer, got));
        m_rx.append(buffer, got);
        parse();
    }
#endif
}

void PtyDeviceSim::parse()
{
    while (!m_rx.isEmpty()) {
        const qsizetype used = takeOne();
        if (used == 0)
            break;
        m_rx.remove(0, used);
    }
    // Only a frame waits for its length; text waits for its line end as long as it takes.
    const bool frameWaits = !m_rx.isEmpty() && !m_skipLine && startsFrame(uchar(m_rx[0])) &&
                            (m_rx.size() < 2 || m_rx[1] == Modbus::kConsoleFunction);
    if (frameWaits)
        m_frameSilence.start();
    else
        m_frameSilence.stop();
}

bool PtyDeviceSim::startsFrame(uchar byte) const
{
    return byte == m_options.station || isControl(byte);
}

qsizetype PtyDeviceSim::takeOne()
{
    const auto byte = [this](qsizetype i) { return uchar(m_rx[i]); };
    if (std::exchange(m_afterCr, false) && byte(0) == '\n')
        return 1;
    if (!m_skipLine && startsFrame(byte(0))) {
        if (m_rx.size() < 2)
            return 0;
        if (byte(1) == uchar(Modbus::kConsoleFunction)) {
            const qsizetype length = m_rx.size() < 3 ? 5 : byte(2) + 5;
            if (m_rx.size() < length)
                return 0;
            const QByteArrayView frame(m_rx.constData(), length);
            // A frame followed by its own CRC has a CRC of 0.
            if (byte(0) == m_options.station && Modbus::crc16(frame) == 0)
                answer(frame.sliced(3, byte(2)), true);
            return length;
        }
        if (isControl(byte(0)))
            return 1; // line noise before a line: skip it
        // A station address that is also a character of text starts a plain line here.
    }
    const qsizetype scan = qMin(m_rx.size(), kMaxLine + 1);
    qsizetype end = 0;
    while (end < scan && byte(end) != '\r' && byte(end) != '\n')
        ++end;
    if (end == scan) {
        if (scan <= kMaxLine)
            return 0;
        if (!std::exchange(m_skipLine, true))
            replyLine(kLineTooLong, false);
        return scan;
    }
    m_afterCr = byte(end) == '\r';
    if (!std::exchange(m_skipLine, false))
        answer(QByteArrayView(m_rx.constData(), end), false);
    return end + 1;
}

void PtyDeviceSim::answer(QByteArrayView commandLine, bool framed)
{
    m_console.handle(commandLine, QLatin1String(kSender),
                     [this, framed](QByteArrayView line) { replyLine(line, framed); });
}

void PtyDeviceSim::replyLine(QByteArrayView line, bool framed)
{
    const QByteArray text = line.toByteArray() + "\r\n";
    if (!framed)
        return send(text);
    // A frame carries at most 255 bytes: a longer line goes out in several, which the terminal shows in turn.
    for (qsizetype at = 0; at < text.size(); at += 255)
        send(Modbus::frame(quint8(m_options.station), Modbus::kConsoleFunction,
                           QByteArrayView(text).sliced(at, qMin<qsizetype>(255, text.size() - at))));
}

void PtyDeviceSim::print(QByteArrayView text)
{
    send(text);
}

void PtyDeviceSim::send(QByteArrayView bytes)
{
    if (m_master < 0 || bytes.isEmpty())
        return;
    if (m_options.verbose)
        trace("->", bytes);
    const qsizetype room = qMax<qsizetype>(0, kMaxQueued - queued());
    if (bytes.size() > room) {
        m_dropped += bytes.size() - room;
        bytes = bytes.first(room);
    }
    if (queued() == 0) {
        // An idle line has banked no time: the first byte leaves now, the rest at the line's pace.
        m_credit = 1;
        m_lastPaceNs = m_clock.nsecsElapsed();
    }
    m_tx.append(bytes);
    pump();
}

void PtyDeviceSim::pump()
{
#if defined(Q_OS_UNIX)
    qsizetype allowed = queued();
    if (m_options.baud > 0) {
        const double bytesPerSecond = m_options.baud / 10.0;
        const qint64 now = m_clock.nsecsElapsed();
        m_credit = qMin(m_credit + (now - m_lastPaceNs) * bytesPerSecond / 1e9,
                        qMax(1.0, bytesPerSecond * kMaxCatchUpSeconds));
        m_lastPaceNs = now;
        allowed = qMin(allowed, qsizetype(m_credit));
    }
    if (allowed > 0 && m_master >= 0) {
        const ssize_t written = ::write(m_master, m_tx.constData() + m_txHead, size_t(allowed));
        if (written > 0) {
            m_txHead += written;
            m_credit -= double(written);
        } else if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            m_dropped += queued();
            m_txHead = m_tx.size();
        }
    }
    if (queued() == 0) {
        m_tx.clear();
        m_txHead = 0;
        m_pace.stop();
        if (m_writeNotifier)
            m_writeNotifier->setEnabled(false);
        return;
    }
    // Drop what was sent only now and then, so that a long queue is not moved for every few bytes.
    if (m_txHead > 64 * 1024 && m_txHead > m_tx.size() / 2) {
        m_tx.remove(0, m_txHead);
        m_txHead = 0;
    }
    if (m_options.baud > 0) {
        if (!m_pace.isActive())
            m_pace.start();
    } else if (m_writeNotifier) {
        m_writeNotifier->setEnabled(true);
    }
#endif
}
