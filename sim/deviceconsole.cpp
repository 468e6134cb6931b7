// SPDX-License-Identifier: MIT
#include "deviceconsole.h"

#include <QDir>
#include <QTimer>

namespace
{

constexpr char kVersion[] = "VER 3.1 SIM";
constexpr char kStationVersion[] = "VER 3.1 STATION";
constexpr int kMaxLineNumber = 65535;
constexpr int kMaxReadBlock = 255;
// A flood of WRITE commands must not eat the host's memory.
constexpr qsizetype kMaxFileSize = 16 * 1024 * 1024;

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
constexpr char kLineRejected[] = "ERROR line rejected";

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

} // namespace

DeviceConsole::DeviceConsole(Options options, QObject *parent) : QObject(parent), m_options(std::move(options)) {}

DeviceConsole::~DeviceConsole()
{
    reset();
}

bool DeviceConsole::prepare(QString *error)
{
    if (m_options.diskFolder.isEmpty() || QDir().mkpath(m_options.diskFolder))
        return true;
    if (error)
        *error = QStringLiteral("cannot create the disk folder %1").arg(m_options.diskFolder);
    return false;
}

void DeviceConsole::reset()
{
    ++m_generation;
    closeFile();
}

QByteArray DeviceConsole::escaped(QByteArrayView bytes)
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

bool DeviceConsole::dropsNext()
{
    ++m_replies;
    return m_replies == m_options.dropReply || (m_options.dropEvery > 0 && m_replies % m_options.dropEvery == 0);
}

void DeviceConsole::handle(QByteArrayView commandLine, const QString &sender, const Reply &send)
{
    // A reply lost on its way: the line is made, and counted, but never reaches the terminal.
    Reply reply = send;
    if (m_options.dropReply > 0 || m_options.dropEvery > 0)
        reply = [this, send](QByteArrayView line) {
            if (!dropsNext())
                send(line);
        };
    if (m_options.login && !passLogin(sender, reply))
        return;

    QByteArrayView line = commandLine;
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    line = line.trimmed();

    // An empty line is acknowledged like any accepted line, so that a program with blank lines downloads.
    if (line.isEmpty())
        return reply("OK");
    if (line.front() >= '0' && line.front() <= '9')
        return programLine(line, reply);

    const qsizetype blank = line.indexOf(' ');
    const QByteArrayView word = blank < 0 ? line : line.first(blank);
    const QByteArrayView arg = blank < 0 ? QByteArrayView() : line.sliced(blank + 1).trimmed();
    // Case does not matter: the terminal asks for the listing as "LISt" on the serial line.
    const auto is = [&word](const char *keyword) { return word.compare(keyword, Qt::CaseInsensitive) == 0; };

    if (is("VER") || is("LIST") || is("NEW") || is("CLOSE")) {
        if (!arg.isEmpty())
            return reply(kBadArgument);
        if (is("VER"))
            return reply(kVersion);
        if (is("LIST"))
            return list(reply);
        if (is("NEW"))
            return newProgram(reply);
        closeFile();
        return reply("OK");
    }
    if (is("MDC"))
        return mdc(arg, reply);
    if (is("UART")) {
        const qsizetype comma = arg.indexOf(',');
        const bool ok = comma > 0 && isDigits(arg.first(comma)) && isDigits(arg.sliced(comma + 1));
        return reply(ok ? "OK" : kBadArgument);
    }
    if (is("OPENWR"))
        return openWrite(arg, reply);
    if (is("OPENRD"))
        return openRead(arg, reply);
    if (is("WRITE"))
        return write(arg, reply);
    if (is("READ"))
        return read(arg, reply);
    reply(kUnknown);
}

bool DeviceConsole::passLogin(const QString &sender, const Reply &reply)
{
    int &stage = m_loginStage[sender];
    switch (stage) {
    case 0:
        stage = 1;
        reply("Login:");
        return false;
    case 1:
        stage = 2;
        reply("Password:");
        return false;
    case 2:
        stage = 3;
        reply("OK");
        return false;
    default:
        return true;
    }
}

void DeviceConsole::programLine(QByteArrayView line, const Reply &reply)
{
    qsizetype digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    const int lineNumber = number(line.first(digits), kMaxLineNumber);
    if (lineNumber < 0)
        return reply(kBadLineNumber);
    if (lineNumber == m_options.errorLine)
        return reply(kLineRejected);
    const QByteArrayView statement = line.sliced(digits).trimmed();
    if (statement.isEmpty())
        m_program.erase(lineNumber);
    else
        m_program[lineNumber] = statement.toByteArray();
    reply("OK");
}

void DeviceConsole::list(const Reply &reply)
{
    QByteArray line;
    for (const auto &[lineNumber, statement] : m_program) {
        line.setNum(lineNumber);
        line.append(' ').append(statement);
        reply(line);
    }
    reply("OK");
}

void DeviceConsole::newProgram(const Reply &reply)
{
    m_program.clear();
    // Erasing takes the device a while; it keeps answering other commands meanwhile.
    QTimer::singleShot(qMax(0, m_options.newDelayMs), this, [this, reply, generation = m_generation] {
        if (generation == m_generation)
            reply("OK");
    });
}

void DeviceConsole::mdc(QByteArrayView arg, const Reply &reply)
{
    const qsizetype comma = arg.indexOf(',');
    if (comma < 0)
        return reply(kBadArgument);
    const int station = number(arg.first(comma).trimmed(), 255);
    if (station < 0)
        return reply(kBadArgument);
    const QByteArrayView command = arg.sliced(comma + 1).trimmed();
    QByteArray answer = "MDC " + QByteArray::number(station) + ": ";
    answer += command.compare("VER", Qt::CaseInsensitive) == 0 ? kStationVersion : "OK";
    reply(answer);
}

QString DeviceConsole::diskPath(const QByteArray &name) const
{
    return QDir(m_options.diskFolder).filePath(QString::fromLatin1(name));
}

void DeviceConsole::closeFile()
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

void DeviceConsole::openWrite(QByteArrayView arg, const Reply &reply)
{
    closeFile();
    QByteArrayView name;
    if (!unquote(arg, &name) || !validName(name))
        return reply(kBadName);
    if (m_options.diskFolder.isEmpty()) {
        m_disk.insert(name.toByteArray(), QByteArray());
    } else {
        m_writeFile.setFileName(diskPath(name.toByteArray()));
        if (!m_writeFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return reply(kCannotWrite);
    }
    m_openMode = OpenMode::Write;
    m_openName = name.toByteArray();
    reply("OK");
}

void DeviceConsole::openRead(QByteArrayView arg, const Reply &reply)
{
    closeFile();
    QByteArrayView name;
    if (!unquote(arg, &name) || !validName(name))
        return reply(kBadName);
    if (m_options.diskFolder.isEmpty()) {
        const auto it = m_disk.constFind(name.toByteArray());
        if (it == m_disk.cend())
            return reply(kMissing);
        m_readData = *it;
    } else {
        QFile file(diskPath(name.toByteArray()));
        if (!file.open(QIODevice::ReadOnly))
            return reply(kMissing);
        m_readData = file.readAll();
    }
    m_openMode = OpenMode::Read;
    m_openName = name.toByteArray();
    reply("OK");
}

bool DeviceConsole::injectedFailure(const Reply &reply)
{
    if (m_options.errorAfterBlocks < 0 || m_blocks < m_options.errorAfterBlocks)
        return false;
    closeFile();
    reply(kInjected);
    return true;
}

void DeviceConsole::write(QByteArrayView arg, const Reply &reply)
{
    if (m_openMode != OpenMode::Write)
        return reply(kNoFile);
    if (injectedFailure(reply))
        return;
    QByteArrayView hex;
    if (!unquote(arg, &hex) || hex.isEmpty() || hex.size() % 2 != 0)
        return reply(kBadHex);
    QByteArray bytes(hex.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int high = hexValue(hex[2 * i]);
        const int low = hexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return reply(kBadHex);
        bytes[i] = char(high * 16 + low);
    }
    if (m_written + bytes.size() > kMaxFileSize)
        return reply(kDiskFull);
    if (m_options.diskFolder.isEmpty())
        m_disk[m_openName].append(bytes);
    else if (m_writeFile.write(bytes) != bytes.size())
        return reply(kCannotWrite);
    m_written += bytes.size();
    ++m_blocks;
    reply("OK");
}

void DeviceConsole::read(QByteArrayView arg, const Reply &reply)
{
    // The terminal asks with READ 20 and one closing double quote.
    const int count = arg.endsWith('"') ? number(arg.chopped(1), kMaxReadBlock) : -1;
    if (count < 1)
        return reply(kBadArgument);
    if (m_openMode != OpenMode::Read)
        return reply(kNoFile);
    if (injectedFailure(reply))
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
        reply(data);
        reply("OK");
    } else {
        data.append("ND");
        reply(data);
    }
}
