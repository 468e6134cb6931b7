// SPDX-License-Identifier: MIT
#include "devicesim.h"

#include <QDir>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>

namespace
{

constexpr char kVersion[] = "VER 3.1 SIM";
constexpr char kStationVersion[] = "VER 3.1 STATION";
constexpr int kMaxLineNumber = 65535;
constexpr int kMaxReadBlock = 255;
// A flood of WRITE datagrams must not eat the host's memory.
constexpr qsizetype kMaxFileSize = 16 * 1024 * 1024;
// Loopback floods arrive faster than one event-loop turn drains them.
constexpr int kSocketBufferSize = 4 * 1024 * 1024;

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Replies carry their reasons in lower case, so that an error text never holds "OK" or "ND", which the
// terminal searches for case-sensitively.
constexpr char kUnknown[] = "ERROR unknown command";
constexpr char kBadArgument[] = "ERROR bad argument";
constexpr char kBadLineNumber[] = "ERROR bad line number";
constexpr char kBadName[] = "ERROR bad file name";
constexpr char kNoFile[] = "ERROR no file open";
constexpr char kMissing[] = "ERROR file not found";
constexpr char kBadHex[] = "ERROR bad hex";
constexpr char kDiskFull[] = "ERROR disk full";
constexpr char kCannotWrite[] = "ERROR cannot write";
constexpr char kInjected[] = "ERROR simulated failure";

bool isDigits(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

/// Decimal digits to a number no greater than max; -1 otherwise.
int number(QByteArrayView text, int max)
{
    if (!isDigits(text))
        return -1;
    qint64 value = 0;
    for (char c : text) {
        value = value * 10 + (c - '0');
        if (value > max)
            return -1;
    }
    return int(value);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// The text between a leading and a trailing double quote; false when either is missing.
bool unquote(QByteArrayView arg, QByteArrayView *inner)
{
    if (arg.size() < 2 || !arg.startsWith('"') || !arg.endsWith('"'))
        return false;
    *inner = arg.sliced(1, arg.size() - 2);
    return true;
}

/// A name that stays one plain file in the disk folder on any host: printable ASCII without path
/// separators, drive colons or characters that some file systems refuse.
bool validName(QByteArrayView name)
{
    if (name.isEmpty() || name.size() > 255 || name == "." || name == "..")
        return false;
    for (char c : name)
        if (c < 32 || c > 126 || QByteArrayView("<>:\"/\\|?*").contains(c))
            return false;
    return true;
}

QByteArray escaped(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (char c : bytes) {
        const auto u = uchar(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (u >= 32 && u < 127)
            out += c;
        else
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
    }
    return out;
}

void trace(const char *direction, const QHostAddress &address, quint16 port, QByteArrayView bytes)
{
    std::fprintf(stderr, "%s %s:%u \"%s\"\n", direction, address.toString().toLatin1().constData(), unsigned(port),
                 escaped(bytes).constData());
}

} // namespace

DeviceSim::DeviceSim(Options options, QObject *parent) : QObject(parent), m_options(std::move(options)) {}

DeviceSim::~DeviceSim()
{
    stop();
}

bool DeviceSim::start(QString *error)
{
    stop();
    if (!m_options.diskFolder.isEmpty() && !QDir().mkpath(m_options.diskFolder)) {
        if (error)
            *error = QStringLiteral("cannot create the disk folder %1").arg(m_options.diskFolder);
        return false;
    }
    m_socket = new QUdpSocket(this);
    if (!m_socket->bind(m_options.address, m_options.port)) {
        if (error)
            *error = QStringLiteral("cannot bind UDP port %1 on %2 (%3)")
                         .arg(m_options.port)
                         .arg(m_options.address.toString(), m_socket->errorString());
        delete m_socket;
        m_socket = nullptr;
        return false;
    }
    m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kSocketBufferSize);
    m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSocketBufferSize);
    connect(m_socket, &QUdpSocket::readyRead, this, &DeviceSim::readPending);
    return true;
}

quint16 DeviceSim::port() const
{
    return m_socket ? m_socket->localPort() : 0;
}

void DeviceSim::stop()
{
    ++m_generation;
    closeFile();
    delete m_socket;
    m_socket = nullptr;
}

void DeviceSim::readPending()
{
    while (m_socket && m_socket->hasPendingDatagrams()) {
        const qint64 size = m_socket->pendingDatagramSize();
        if (size < 0)
            break;
        m_rx.resize(qMax<qint64>(size, 1));
        Peer peer;
        const qint64 got = m_socket->readDatagram(m_rx.data(), m_rx.size(), &peer.address, &peer.port);
        // An ICMP error from an earlier reply surfaces here; the notifier brings us back for real data.
        if (got < 0)
            break;
        m_rx.resize(got);
        handle(m_rx, peer);
    }
}

void DeviceSim::reply(const Peer &peer, QByteArrayView line)
{
    if (!m_socket)
        return;
    m_tx.truncate(0);
    m_tx.append(line).append("\r\n");
    if (m_options.verbose)
        trace("->", peer.address, peer.port, m_tx);
    m_socket->writeDatagram(m_tx, peer.address, peer.port);
}

void DeviceSim::handle(QByteArrayView datagram, const Peer &peer)
{
    if (m_options.verbose)
        trace("<-", peer.address, peer.port, datagram);
    if (m_options.login && !passLogin(peer))
        return;

    QByteArrayView line = datagram;
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    line = line.trimmed();

    // An empty line is acknowledged like any accepted line, so that a program with blank lines downloads.
    if (line.isEmpty())
        return reply(peer, "OK");
    if (line.front() >= '0' && line.front() <= '9')
        return programLine(line, peer);

    const qsizetype blank = line.indexOf(' ');
    const QByteArrayView word = blank < 0 ? line : line.first(blank);
    const QByteArrayView arg = blank < 0 ? QByteArrayView() : line.sliced(blank + 1).trimmed();
    const auto is = [&word](const char *keyword) { return word.compare(keyword, Qt::CaseInsensitive) == 0; };

    if (is("VER") || is("LIST") || is("NEW") || is("CLOSE")) {
        if (!arg.isEmpty())
            return reply(peer, kBadArgument);
        if (is("VER"))
            return reply(peer, kVersion);
        if (is("LIST"))
            return list(peer);
        if (is("NEW"))
            return newProgram(peer);
        closeFile();
        return reply(peer, "OK");
    }
    if (is("MDC"))
        return mdc(arg, peer);
    if (is("UART")) {
        const qsizetype comma = arg.indexOf(',');
        const bool ok = comma > 0 && isDigits(arg.first(comma)) && isDigits(arg.sliced(comma + 1));
        return reply(peer, ok ? "OK" : kBadArgument);
    }
    if (is("OPENWR"))
        return openWrite(arg, peer);
    if (is("OPENRD"))
        return openRead(arg, peer);
    if (is("WRITE"))
        return write(arg, peer);
    if (is("READ"))
        return read(arg, peer);
    reply(peer, kUnknown);
}

bool DeviceSim::passLogin(const Peer &peer)
{
    int &stage = m_loginStage[peer.address];
    switch (stage) {
    case 0:
        stage = 1;
        reply(peer, "Login:");
        return false;
    case 1:
        stage = 2;
        reply(peer, "Password:");
        return false;
    case 2:
        stage = 3;
        reply(peer, "OK");
        return false;
    default:
        return true;
    }
}

void DeviceSim::programLine(QByteArrayView line, const Peer &peer)
{
    qsizetype digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    const int lineNumber = number(line.first(digits), kMaxLineNumber);
    if (lineNumber < 0)
        return reply(peer, kBadLineNumber);
    const QByteArrayView statement = line.sliced(digits).trimmed();
    if (statement.isEmpty())
        m_program.erase(lineNumber);
    else
        m_program[lineNumber] = statement.toByteArray();
    reply(peer, "OK");
}

void DeviceSim::list(const Peer &peer)
{
    QByteArray line;
    for (const auto &[lineNumber, statement] : m_program) {
        line.setNum(lineNumber);
        line.append(' ').append(statement);
        reply(peer, line);
    }
    reply(peer, "OK");
}

void DeviceSim::newProgram(const Peer &peer)
{
    m_program.clear();
    // Erasing takes the device a while; it keeps answering other datagrams meanwhile.
    QTimer::singleShot(qMax(0, m_options.newDelayMs), this, [this, peer, generation = m_generation] {
        if (generation == m_generation)
            reply(peer, "OK");
    });
}

void DeviceSim::mdc(QByteArrayView arg, const Peer &peer)
{
    const qsizetype comma = arg.indexOf(',');
    if (comma < 0)
        return reply(peer, kBadArgument);
    const int station = number(arg.first(comma).trimmed(), 255);
    if (station < 0)
        return reply(peer, kBadArgument);
    const QByteArrayView command = arg.sliced(comma + 1).trimmed();
    QByteArray answer = "MDC " + QByteArray::number(station) + ": ";
    answer += command.compare("VER", Qt::CaseInsensitive) == 0 ? kStationVersion : "OK";
    reply(peer, answer);
}

QString DeviceSim::diskPath(const QByteArray &name) const
{
    return QDir(m_options.diskFolder).filePath(QString::fromLatin1(name));
}

void DeviceSim::closeFile()
{
    if (m_writeFile.isOpen())
        m_writeFile.close();
    m_openMode = OpenMode::None;
    m_openName.clear();
    m_readData.clear();
    m_readPos = 0;
    m_written = 0;
    m_blocks = 0;
}

void DeviceSim::openWrite(QByteArrayView arg, const Peer &peer)
{
    closeFile();
    QByteArrayView name;
    if (!unquote(arg, &name) || !validName(name))
        return reply(peer, kBadName);
    if (m_options.diskFolder.isEmpty()) {
        m_disk.insert(name.toByteArray(), QByteArray());
    } else {
        m_writeFile.setFileName(diskPath(name.toByteArray()));
        if (!m_writeFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return reply(peer, kCannotWrite);
    }
    m_openMode = OpenMode::Write;
    m_openName = name.toByteArray();
    reply(peer, "OK");
}

void DeviceSim::openRead(QByteArrayView arg, const Peer &peer)
{
    closeFile();
    QByteArrayView name;
    if (!unquote(arg, &name) || !validName(name))
        return reply(peer, kBadName);
    if (m_options.diskFolder.isEmpty()) {
        const auto it = m_disk.constFind(name.toByteArray());
        if (it == m_disk.cend())
            return reply(peer, kMissing);
        m_readData = *it;
    } else {
        QFile file(diskPath(name.toByteArray()));
        if (!file.open(QIODevice::ReadOnly))
            return reply(peer, kMissing);
        m_readData = file.readAll();
    }
    m_openMode = OpenMode::Read;
    m_openName = name.toByteArray();
    reply(peer, "OK");
}

bool DeviceSim::injectedFailure(const Peer &peer)
{
    if (m_options.errorAfterBlocks < 0 || m_blocks < m_options.errorAfterBlocks)
        return false;
    closeFile();
    reply(peer, kInjected);
    return true;
}

void DeviceSim::write(QByteArrayView arg, const Peer &peer)
{
    if (m_openMode != OpenMode::Write)
        return reply(peer, kNoFile);
    if (injectedFailure(peer))
        return;
    QByteArrayView hex;
    if (!unquote(arg, &hex) || hex.isEmpty() || hex.size() % 2 != 0)
        return reply(peer, kBadHex);
    QByteArray bytes(hex.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int high = hexValue(hex[2 * i]);
        const int low = hexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return reply(peer, kBadHex);
        bytes[i] = char(high * 16 + low);
    }
    if (m_written + bytes.size() > kMaxFileSize)
        return reply(peer, kDiskFull);
    if (m_options.diskFolder.isEmpty())
        m_disk[m_openName].append(bytes);
    else if (m_writeFile.write(bytes) != bytes.size())
        return reply(peer, kCannotWrite);
    m_written += bytes.size();
    ++m_blocks;
    reply(peer, "OK");
}

void DeviceSim::read(QByteArrayView arg, const Peer &peer)
{
    // The terminal asks with READ 20 and one closing double quote.
    const int count = arg.endsWith('"') ? number(arg.chopped(1), kMaxReadBlock) : -1;
    if (count < 1)
        return reply(peer, kBadArgument);
    if (m_openMode != OpenMode::Read)
        return reply(peer, kNoFile);
    if (injectedFailure(peer))
        return;
    ++m_blocks;

    const qsizetype remaining = m_readData.size() - m_readPos;
    const qsizetype take = qMin<qsizetype>(count, remaining);
    QByteArray data(take * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < take; ++i) {
        const auto byte = uchar(m_readData[m_readPos + i]);
        data[2 * i] = kHexDigits[byte >> 4];
        data[2 * i + 1] = kHexDigits[byte & 15];
    }
    m_readPos += take;
    // A full block is followed by OK, even when it was the last one; only a short block (or none) carries
    // the end marker, directly after its digits.
    if (take == count) {
        reply(peer, data);
        reply(peer, "OK");
    } else {
        data.append("ND");
        reply(peer, data);
    }
}
