// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

/// What the units of the record mean, in named fields: pure functions over a unit's bytes and what the record
/// told of its exchange when it was appended. Each layer of a unit has its dissector, tried in the order of one
/// table (monitor/decode.cpp), as a network analyser's are: the RTU frame, the "MDC " wrapping, then the flash
/// disk, the program and listing lines, the replies, the console.
namespace Monitor
{
class Record;
struct Unit;

struct Field {
    const char *name; // "station", "crc", "line"...
    QString value;
};

struct Decoded {
    QList<Field> fields;
    QString summary; // the fields in a few words, as the view's decode column shows them
    /// The value of the named field; empty when the unit has none.
    QString value(const char *name) const;
};

/// Unit `n` of the record, decoded layer by layer. The RTU request to station 16 with VER CR LF gives station 16,
/// function C, count 5, CRC D04B good, command VER: "RTU 16 C, 5 bytes, CRC D04B · command VER".
Decoded decode(const Record &record, qint64 n);

/// What a unit carries: the data of its RTU frame, where it has one, else its bytes.
QByteArrayView payload(const Unit &unit);
/// The command line a sent unit carries, without its frame, its "MDC " wrapping and its line end.
QByteArrayView command(const Unit &unit);

/// The line without its line end (CR LF, CR or LF).
QByteArrayView withoutLineEnd(QByteArrayView line);
/// The command an "MDC station,command" line carries; the line itself when it is no such line.
QByteArrayView mdcCommand(QByteArrayView line);
/// The data field of an RTU frame (address, function, count, data, CRC), as far as the frame holds it.
QByteArrayView frameData(QByteArrayView frame);

/// The bytes as text in the window's character set, each control character as an escape: "OK\r\n", "\t", "\x00", a
/// backslash as "\\". At most `max` bytes, and "…" when there are more.
QString visibleText(QByteArrayView bytes, qsizetype max = -1);
} // namespace Monitor
