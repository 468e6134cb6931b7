// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

/// A saved command: what a click on it or its key sends, as if typed into the command line and Enter pressed.
struct SavedCommand {
    QByteArray name;
    QByteArray text;     // the bytes, escapes resolved
    bool lineEnd = true; // the terminal's line end follows the text, as Enter adds it
    int repeatMs = 0;    // 0: sent once; else sent again every repeatMs until stopped
    bool operator==(const SavedCommand &) const = default;
};

/// A named list of saved commands: one per device type or job.
struct CommandList {
    QByteArray name;
    QList<SavedCommand> commands;
    bool operator==(const CommandList &) const = default;
};

/// The command lists file: readable 8-bit text, one "key: value" a line, CR LF line ends, written whole.
///
///     vantrel-commands 1
///     list: Counter
///     command: Version
///     text: VER
///     command: Pulses every second
///     text: CNT?\x1F
///     line-end: no
///     repeat-ms: 1000
///
/// Blank lines and lines starting with '#' are skipped. A file that is not one, or has a line that cannot be
/// taken, is refused whole: nothing of it is used.
namespace CommandFile
{
/// Repeats come at most this often (the serial poll's own pace is 20 ms) and at least once a day.
inline constexpr int kMinRepeatMs = 10;
inline constexpr int kMaxRepeatMs = 86'400'000;

/// The text as a "text:" line holds it: \r \n \t \\ and \xHH for the bytes a keyboard cannot type (other control
/// characters, DEL, a blank at either end), every other byte as it is. "A\r\n" gives "A\\r\\n".
QByteArray escape(const QByteArray &bytes);
/// The bytes an escaped text stands for; nullopt, with the reason in `error`, for a backslash that starts no
/// escape. "\\x02VER\\x03" gives the five bytes 02 'V' 'E' 'R' 03.
std::optional<QByteArray> unescape(const QByteArray &text, QString *error);
/// Why a list or command cannot have the name: none at all, or a line break or other control character in it.
/// Empty when it can.
QString checkName(const QByteArray &name);
/// Why the command cannot be kept in a list: its name, or a repeat outside kMinRepeatMs to kMaxRepeatMs. Empty
/// when it can.
QString check(const SavedCommand &command);

/// The whole file for the lists, in order.
QByteArray write(const QList<CommandList> &lists);
struct Read {
    QList<CommandList> lists;
    int line = 0;  // the line that was refused, 0 when the file was taken
    QString error; // "line 7: ..." when refused
};
/// The lists a file holds, or the first line that cannot be taken and why.
Read read(const QByteArray &file);
} // namespace CommandFile
