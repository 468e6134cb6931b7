// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace Monitor
{
class Record;

enum class Format { JsonLines, Csv, Pcapng };

/// The format a file's name asks for by its end: ".jsonl", ".csv" or ".pcapng"; none for any other.
std::optional<Format> formatOf(const QString &path);

/// The fields of a unit in JSON Lines and CSV alike, in this order.
inline constexpr const char *kTraceFields[] = {"n",      "time", "delta_ms", "direction", "form",    "link",    "kind",
                                               "length", "hex",  "text",     "decode",    "request", "reply_ms"};

/// A trace file's bytes, unit by unit, so that a long run can be written as it goes.
/// - JSON Lines: one object a unit, the fields of kTraceFields ("time" in UTC to the microsecond, "hex" the bytes,
///   "text" as the monitor shows them, "request" and "reply_ms" null for a unit that answers nothing).
/// - CSV: a header of the same names, then a row a unit.
/// - pcapng: the datagrams alone, each with IPv4 or IPv6 and UDP headers of its real addresses and ports (link type
///   raw IP), stamped to the microsecond, so that a network analyser finds them where they went.
class Trace
{
public:
    explicit Trace(Format format) : m_format(format) {}
    /// What the file starts with.
    QByteArray start() const;
    /// Unit `n` of the record; empty for a unit the format does not carry.
    QByteArray unit(const Record &record, qint64 n);

private:
    Format m_format;
    qint64 m_lastUs = -1; // the unit written before, for delta_ms
    quint16 m_ipId = 0;
};
} // namespace Monitor
