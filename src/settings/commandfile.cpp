// SPDX-License-Identifier: MIT
#include "commandfile.h"

#include "app/charset.h"

#include <algorithm>

namespace
{
constexpr char kHeader[] = "vantrel-commands 1";
constexpr char kHex[] = "0123456789ABCDEF";

bool isControl(char c)
{
    return uchar(c) < 0x20 || uchar(c) == 0x7F;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

/// The file being read: the lists so far and the first refusal.
class Reader
{
public:
    CommandFile::Read take(const QByteArray &file)
    {
        QList<QByteArray> lines = file.split('\n');
        if (file.endsWith('\n'))
            lines.removeLast();
        for (QByteArray &line : lines)
            if (line.endsWith('\r'))
                line.chop(1);
        if (lines.value(0) != kHeader)
            return refuse(
                1,
                QStringLiteral("not a command lists file: it does not start with \"%1\"").arg(QLatin1String(kHeader)));
        for (qsizetype i = 1; i < lines.size() && m_read.line == 0; ++i) {
            m_line = int(i + 1);
            if (!lines[i].isEmpty() && !lines[i].startsWith('#'))
                entry(lines[i]);
        }
        if (m_read.line == 0)
            finishCommand();
        if (m_read.line != 0)
            m_read.lists.clear();
        return m_read;
    }

private:
    CommandFile::Read refuse(int line, const QString &why)
    {
        if (m_read.line == 0) {
            m_read.line = line;
            m_read.error = QStringLiteral("line %1: %2").arg(line).arg(why);
        }
        return m_read;
    }

    void entry(const QByteArray &line)
    {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0) {
            refuse(m_line, QStringLiteral("no \"key: value\" here"));
            return;
        }
        const QByteArray key = line.left(colon);
        QByteArray value = line.mid(colon + 1);
        if (value.startsWith(' '))
            value.remove(0, 1);
        if (key == "list")
            startList(value.trimmed());
        else if (key == "command")
            startCommand(value.trimmed());
        else if (key == "text")
            text(value);
        else if (key == "line-end")
            lineEnd(value.trimmed());
        else if (key == "repeat-ms")
            repeat(value.trimmed());
        else
            refuse(m_line, QStringLiteral("unknown key \"%1\"").arg(Charset::decode(key)));
    }

    void startList(const QByteArray &name)
    {
        finishCommand();
        const bool taken = std::ranges::any_of(m_read.lists, [&](const CommandList &l) { return l.name == name; });
        if (const QString why = CommandFile::checkName(name); !why.isEmpty())
            refuse(m_line, why);
        else if (taken)
            refuse(m_line, QStringLiteral("a second list \"%1\"").arg(Charset::decode(name)));
        else
            m_read.lists.append({name, {}});
    }

    void startCommand(const QByteArray &name)
    {
        finishCommand();
        if (m_read.lists.isEmpty()) {
            refuse(m_line, QStringLiteral("a command before any list"));
            return;
        }
        const QList<SavedCommand> &commands = m_read.lists.last().commands;
        if (std::ranges::any_of(commands, [&](const SavedCommand &c) { return c.name == name; })) {
            refuse(m_line, QStringLiteral("a second command \"%1\" in the list").arg(Charset::decode(name)));
            return;
        }
        m_command = SavedCommand{name, {}, true, 0};
        m_commandLine = m_line;
        m_hasText = false;
    }

    /// The command being read is complete: checked and kept.
    void finishCommand()
    {
        if (!m_command)
            return;
        const QString why = CommandFile::check(*m_command);
        if (!m_hasText)
            refuse(m_commandLine, QStringLiteral("the command has no \"text:\" line"));
        else if (!why.isEmpty())
            refuse(m_commandLine, why);
        else
            m_read.lists.last().commands.append(*m_command);
        m_command.reset();
    }

    bool inCommand(const char *key, bool once)
    {
        if (!m_command)
            refuse(m_line, QStringLiteral("\"%1:\" outside a command").arg(QLatin1String(key)));
        else if (once)
            refuse(m_line, QStringLiteral("a second \"%1:\" for the command").arg(QLatin1String(key)));
        return m_read.line == 0;
    }

    void text(const QByteArray &value)
    {
        if (!inCommand("text", m_hasText))
            return;
        QString why;
        const std::optional<QByteArray> bytes = CommandFile::unescape(value, &why);
        if (!bytes)
            refuse(m_line, why);
        else
            m_command->text = *bytes;
        m_hasText = true;
    }

    void lineEnd(const QByteArray &value)
    {
        if (!inCommand("line-end", false))
            return;
        if (value != "yes" && value != "no")
            refuse(m_line, QStringLiteral("line-end is \"yes\" or \"no\""));
        m_command->lineEnd = value == "yes";
    }

    void repeat(const QByteArray &value)
    {
        if (!inCommand("repeat-ms", false))
            return;
        bool ok = false;
        m_command->repeatMs = value.toInt(&ok);
        if (!ok)
            refuse(m_line, QStringLiteral("repeat-ms is a number of milliseconds"));
    }

    CommandFile::Read m_read;
    int m_line = 1;
    std::optional<SavedCommand> m_command;
    int m_commandLine = 0;
    bool m_hasText = false;
};
} // namespace

namespace CommandFile
{
QByteArray escape(const QByteArray &bytes)
{
    QByteArray text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        // A blank at either end would be lost to an editor that trims lines, or to the blank after the colon.
        const bool edgeBlank = c == ' ' && (i == 0 || i == bytes.size() - 1);
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\t')
            text += "\\t";
        else if (c == '\\')
            text += "\\\\";
        else if (isControl(c) || edgeBlank)
            text += QByteArray("\\x") + kHex[uchar(c) >> 4] + kHex[uchar(c) & 15];
        else
            text += c;
    }
    return text;
}

std::optional<QByteArray> unescape(const QByteArray &text, QString *error)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        const char kind = i + 1 < text.size() ? text[i + 1] : '\0';
        const int high = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        const int low = i + 3 < text.size() ? hexDigit(text[i + 3]) : -1;
        if (kind == 'r' || kind == 'n' || kind == 't' || kind == '\\') {
            bytes += kind == 'r' ? '\r' : kind == 'n' ? '\n' : kind == 't' ? '\t' : '\\';
            ++i;
        } else if (kind == 'x' && high >= 0 && low >= 0) {
            bytes += char(high * 16 + low);
            i += 3;
        } else {
            *error = QStringLiteral("\"%1\" is no escape: \\r \\n \\t \\\\ and \\xHH are")
                         .arg(Charset::decode(text.mid(i, kind == 'x' ? 4 : 2)));
            return std::nullopt;
        }
    }
    return bytes;
}

QString checkName(const QByteArray &name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("no name given");
    if (std::ranges::any_of(name, isControl))
        return QStringLiteral("a name is one line of text, without control characters");
    return {};
}

QString check(const SavedCommand &command)
{
    if (const QString why = checkName(command.name); !why.isEmpty())
        return why;
    if (command.repeatMs != 0 && (command.repeatMs < kMinRepeatMs || command.repeatMs > kMaxRepeatMs))
        return QStringLiteral("repeat-ms is 0 (no repeat) or %1 to %2 ms, not %3")
            .arg(kMinRepeatMs)
            .arg(kMaxRepeatMs)
            .arg(command.repeatMs);
    return {};
}

QByteArray write(const QList<CommandList> &lists)
{
    QByteArray file = QByteArray(kHeader) + "\r\n";
    for (const CommandList &list : lists) {
        file += "\r\nlist: " + list.name + "\r\n";
        for (const SavedCommand &command : list.commands) {
            file += "command: " + command.name + "\r\ntext: " + escape(command.text) + "\r\n";
            if (!command.lineEnd)
                file += "line-end: no\r\n";
            if (command.repeatMs > 0)
                file += "repeat-ms: " + QByteArray::number(command.repeatMs) + "\r\n";
        }
    }
    return file;
}

Read read(const QByteArray &file)
{
    return Reader().take(file);
}
} // namespace CommandFile
