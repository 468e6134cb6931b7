// SPDX-License-Identifier: MIT
#include "decode.h"

#include "record.h"

#include "app/charset.h"
#include "serial/modbus.h"

namespace Monitor
{
namespace
{
enum class Take {
    No,    // not this dissector's
    Layer, // its layer is decoded; the next layers go on with what it carries
    Whole, // the unit is decoded
};
/// A dissector is handed the unit, with what the record told of its exchange, and the bytes of its layer.
using Dissect = Take (*)(const Unit &, QByteArrayView &payload, Decoded &);

void add(Decoded &d, const char *name, const QString &value)
{
    d.fields.append({name, value});
}

void say(Decoded &d, const QString &words)
{
    d.summary += (d.summary.isEmpty() ? QString() : QStringLiteral(" · ")) + words;
}

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

/// The digits a text starts with: a BASIC line's number.
QByteArrayView leadingNumber(QByteArrayView text)
{
    qsizetype n = 0;
    while (n < text.size() && text[n] >= '0' && text[n] <= '9')
        ++n;
    return text.first(n);
}

/// Text between the first two double quotes, or after the first: a flash-disk command's argument.
QByteArrayView quoted(QByteArrayView command)
{
    const qsizetype open = command.indexOf('"');
    if (open < 0)
        return {};
    const QByteArrayView rest = command.sliced(open + 1);
    const qsizetype close = rest.indexOf('"');
    return close < 0 ? withoutLineEnd(rest) : rest.first(close);
}

QString text(QByteArrayView bytes)
{
    return Charset::decode(withoutLineEnd(bytes).toByteArray().trimmed());
}

// The dissectors, outermost layer first.

/// An RTU frame: station, function, byte count and CRC; the data goes on. A frame whose CRC does not hold ends here,
/// as the terminal drops it.
Take rtuFrame(const Unit &u, QByteArrayView &payload, Decoded &d)
{
    if (!(u.kind & Rtu) || u.form == Form::Chunk || payload.size() < 5)
        return Take::No;
    const int count = quint8(payload[2]);
    const QByteArrayView data = frameData(payload);
    const QByteArrayView crcBytes =
        payload.sliced(3 + data.size()).first(qMin<qsizetype>(2, payload.size() - 3 - data.size()));
    const quint16 carried = crcBytes.size() == 2 ? quint16(quint8(crcBytes[0]) | quint8(crcBytes[1]) << 8) : 0;
    const quint16 expected = Modbus::crc16(payload.first(3 + data.size()));
    const char function = payload[1];
    add(d, "station", QString::number(quint8(payload[0])));
    add(d, "function",
        function >= ' ' && function < 127 ? QString(QLatin1Char(function)) : hex4(quint8(function)).right(2));
    add(d, "count", QString::number(count));
    add(d, "crc", hex4(carried));
    const bool good = crcBytes.size() == 2 && carried == expected;
    add(d, "crc_check", good ? QStringLiteral("good") : QStringLiteral("bad"));
    QString words = QStringLiteral("RTU %1 %2, %3 bytes, CRC %4")
                        .arg(d.value("station"), d.value("function"))
                        .arg(count)
                        .arg(hex4(carried));
    if (!good) {
        add(d, "crc_expected", hex4(expected));
        words += QStringLiteral(" bad, expected ") + hex4(expected);
    }
    say(d, words);
    payload = data;
    return good ? Take::Layer : Take::Whole;
}

/// "MDC station,command" on the way out, "MDC station: reply" back: the station; the command or reply goes on.
Take mdcLine(const Unit &, QByteArrayView &payload, Decoded &d)
{
    if (!payload.startsWith("MDC "))
        return Take::No;
    const QByteArrayView rest = payload.sliced(4);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != ',' && rest[end] != ':')
        ++end;
    if (end == rest.size())
        return Take::No;
    add(d, "station", Charset::decode(rest.first(end).toByteArray()));
    say(d, QStringLiteral("MDC station ") + d.fields.back().value);
    payload = rest.sliced(end + 1);
    if (payload.startsWith(' '))
        payload = payload.sliced(1);
    return Take::Layer;
}

/// The flash disk's commands, and its data and end replies.
Take flashStep(const Unit &u, QByteArrayView &payload, Decoded &d)
{
    const auto block = [&](const char *step, const QString &words) {
        add(d, "step", QString::fromLatin1(step));
        add(d, "block", QString::number(u.block));
        add(d, "offset", QString::number(u.offset));
        say(d, words.arg(u.block).arg(u.offset));
    };
    switch (u.step) {
    case Step::OpenWrite:
    case Step::OpenRead:
        add(d, "step", QString::fromLatin1(u.step == Step::OpenWrite ? "OPENWR" : "OPENRD"));
        add(d, "name", Charset::decode(quoted(payload).toByteArray()));
        say(d, QStringLiteral("%1 \"%2\"").arg(d.value("step"), d.value("name")));
        return Take::Whole;
    case Step::Write: {
        const qsizetype bytes = quoted(payload).size() / 2;
        block("WRITE", QStringLiteral("WRITE block %1 at %2, ") + QString::number(bytes) + QStringLiteral(" bytes"));
        add(d, "bytes", QString::number(bytes));
        return Take::Whole;
    }
    case Step::Read:
        block("READ", QStringLiteral("READ block %1 (at %2)"));
        return Take::Whole;
    case Step::Close:
        add(d, "step", QStringLiteral("CLOSE"));
        say(d, QStringLiteral("CLOSE"));
        return Take::Whole;
    case Step::Data:
        block("data", QStringLiteral("data of block %1 at %2, 20 bytes"));
        add(d, "bytes", QStringLiteral("20"));
        return Take::Whole;
    case Step::End: {
        const qsizetype bytes = payload.indexOf("ND") / 2;
        block("ND",
              QStringLiteral("end of file (ND), block %1 at %2, ") + QString::number(bytes) + QStringLiteral(" bytes"));
        add(d, "bytes", QString::number(bytes));
        return Take::Whole;
    }
    default:
        return Take::No;
    }
}

/// Program lines and the listing: the BASIC line number a line carries.
Take basicLine(const Unit &u, QByteArrayView &payload, Decoded &d)
{
    const QByteArrayView number = leadingNumber(payload);
    switch (u.step) {
    case Step::ProgramLine:
    case Step::ListingLine: {
        const QString what =
            u.step == Step::ProgramLine ? QStringLiteral("program line") : QStringLiteral("listing line");
        if (number.isEmpty()) {
            say(d, what + QStringLiteral(" without a number"));
        } else {
            add(d, "line", QString::fromLatin1(number));
            say(d, what + QLatin1Char(' ') + d.value("line"));
        }
        return Take::Whole;
    }
    case Step::List:
    case Step::New:
        add(d, "command", text(payload));
        say(d, d.value("command"));
        return Take::Whole;
    case Step::ListingEnd:
        add(d, "reply", QStringLiteral("OK"));
        say(d, QStringLiteral("end of the listing"));
        return Take::Whole;
    case Step::Prompt:
        add(d, "reply", text(payload));
        say(d, QStringLiteral("login prompt: ") + d.value("reply"));
        return Take::Whole;
    default:
        return Take::No;
    }
}

/// The device's answers: "OK", "ERROR" and its reason, or any other reply.
Take answer(const Unit &u, QByteArrayView &payload, Decoded &d)
{
    switch (u.step) {
    case Step::Ok:
        add(d, "reply", QStringLiteral("OK"));
        say(d, QStringLiteral("OK"));
        return Take::Whole;
    case Step::Error: {
        const QByteArrayView after = payload.sliced(payload.indexOf("ERROR") + 5);
        add(d, "reply", QStringLiteral("ERROR"));
        add(d, "error", text(after));
        say(d, d.value("error").isEmpty() ? QStringLiteral("ERROR") : QStringLiteral("ERROR: ") + d.value("error"));
        return Take::Whole;
    }
    case Step::Reply:
        add(d, "reply", text(payload));
        say(d, QStringLiteral("reply"));
        return Take::Whole;
    default:
        return Take::No;
    }
}

/// What is left: a console command, the device's text unasked, the chunks frames are gathered from, a note.
Take console(const Unit &u, QByteArrayView &payload, Decoded &d)
{
    switch (u.step) {
    case Step::Text:
        if (u.direction == Direction::Sent) {
            add(d, "command", text(payload));
            say(d, QStringLiteral("command ") + d.value("command"));
        }
        break;
    case Step::Raw:
        say(d, u.form == Form::Chunk ? QStringLiteral("read: RTU frames are gathered from it")
                                     : QStringLiteral("not a frame"));
        break;
    default:
        break;
    }
    return Take::Whole;
}

struct Dissector {
    const char *layer;
    Dissect dissect;
};

constexpr Dissector kDissectors[] = {
    {"rtu", rtuFrame},    {"mdc", mdcLine},  {"flash", flashStep},
    {"basic", basicLine}, {"reply", answer}, {"console", console},
};
} // namespace

QString Decoded::value(const char *name) const
{
    for (const Field &f : fields)
        if (qstrcmp(f.name, name) == 0)
            return f.value;
    return {};
}

QByteArrayView payload(const Unit &unit)
{
    const bool framed = unit.form == Form::Frame || (unit.form == Form::Write && (unit.kind & Rtu));
    return framed ? frameData(unit.bytes) : QByteArrayView(unit.bytes);
}

QByteArrayView command(const Unit &unit)
{
    return withoutLineEnd(mdcCommand(payload(unit)));
}

QByteArrayView withoutLineEnd(QByteArrayView line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

QByteArrayView mdcCommand(QByteArrayView line)
{
    if (!line.startsWith("MDC "))
        return line;
    const qsizetype comma = line.indexOf(',');
    return comma < 0 ? line : line.sliced(comma + 1);
}

QByteArrayView frameData(QByteArrayView frame)
{
    if (frame.size() < 3)
        return {};
    return frame.sliced(3).first(qMin<qsizetype>(quint8(frame[2]), frame.size() - 3));
}

Decoded decode(const Record &record, qint64 n)
{
    Decoded d;
    if (!record.holds(n))
        return d;
    const Unit &u = record.at(n);
    if (u.direction == Direction::Note) {
        d.summary = Charset::decode(u.bytes);
        return d;
    }
    QByteArrayView payload = u.bytes;
    for (const Dissector &dissector : kDissectors)
        if (dissector.dissect(u, payload, d) == Take::Whole)
            break;
    return d;
}

QString visibleText(QByteArrayView bytes, qsizetype max)
{
    const qsizetype n = max < 0 ? bytes.size() : qMin(max, bytes.size());
    QString shown;
    shown.reserve(n + 8);
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(bytes[i]);
        // Escapes rather than the control pictures, which few fonts draw.
        const char *escape = c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\\' ? "\\\\" : nullptr;
        if (escape)
            shown += QLatin1String(escape);
        else if (c < 32 || c == 127)
            shown += QStringLiteral("\\x") + QString::number(c, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            shown += Charset::toUnicode(c);
    }
    if (n < bytes.size())
        shown += QChar(0x2026);
    return shown;
}
} // namespace Monitor
