// SPDX-License-Identifier: MIT
#include "trace.h"

#include "decode.h"
#include "record.h"

#include <QDateTime>
#include <QtEndian>

#include <iterator>

namespace Monitor
{
namespace
{
/// pcapng's blocks and the link type of packets that start with their IP header.
constexpr quint32 kSectionHeader = 0x0A0D0D0A;
constexpr quint32 kByteOrderMagic = 0x1A2B3C4D;
constexpr quint32 kInterfaceDescription = 1;
constexpr quint32 kEnhancedPacket = 6;
constexpr quint16 kLinkTypeRaw = 101;
constexpr quint8 kUdp = 17;

void le16(QByteArray &out, quint16 v)
{
    out.append(char(v & 0xFF)).append(char(v >> 8));
}

void le32(QByteArray &out, quint32 v)
{
    le16(out, quint16(v & 0xFFFF));
    le16(out, quint16(v >> 16));
}

void be16(QByteArray &out, quint16 v)
{
    out.append(char(v >> 8)).append(char(v & 0xFF));
}

/// The ones' complement sum of the internet checksum, carried on from `sum`.
quint32 sum16(QByteArrayView bytes, quint32 sum = 0)
{
    for (qsizetype i = 0; i < bytes.size(); i += 2)
        sum += quint32(quint8(bytes[i]) << 8) | (i + 1 < bytes.size() ? quint8(bytes[i + 1]) : 0);
    return sum;
}

quint16 fold(quint32 sum)
{
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

QByteArrayView address(const Winsock::Endpoint &end)
{
    return QByteArrayView(reinterpret_cast<const char *>(end.address.data()), end.size);
}

/// The datagram as it went: an IPv4 or IPv6 header, a UDP header with its checksum, the payload.
QByteArray ipPacket(Winsock::Endpoint src, Winsock::Endpoint dst, QByteArrayView payload, quint16 id)
{
    // An end not known is the unspecified address of the other's family.
    if (src.size != dst.size)
        (src.size == 0 ? src : dst).size = qMax(src.size, dst.size);
    if (src.size == 0)
        src.size = dst.size = 4;
    const bool v6 = src.size == 16;
    QByteArray udp;
    be16(udp, src.port);
    be16(udp, dst.port);
    be16(udp, quint16(8 + payload.size()));
    be16(udp, 0);
    udp.append(payload);
    // The checksum covers a pseudo-header: the addresses, the protocol and the UDP length, laid out per family.
    QByteArray pseudo = address(src).toByteArray() + address(dst).toByteArray();
    if (v6)
        be16(pseudo, 0);
    be16(pseudo, v6 ? quint16(udp.size()) : kUdp);
    be16(pseudo, v6 ? 0 : quint16(udp.size()));
    if (v6)
        be16(pseudo, kUdp);
    quint16 check = fold(sum16(udp, sum16(pseudo)));
    check = check ? check : 0xFFFF;
    udp[6] = char(check >> 8);
    udp[7] = char(check & 0xFF);
    QByteArray ip;
    if (v6) {
        ip.append("\x60\0\0\0", 4);
        be16(ip, quint16(udp.size()));
        ip.append(char(kUdp)).append(char(64));
    } else {
        ip.append("\x45\0", 2);
        be16(ip, quint16(20 + udp.size()));
        be16(ip, id);
        ip.append("\x40\0", 2); // do not fragment
        ip.append(char(64)).append(char(kUdp));
        be16(ip, 0);
    }
    ip += address(src).toByteArray() + address(dst).toByteArray();
    if (!v6) {
        const quint16 header = fold(sum16(ip));
        ip[10] = char(header >> 8);
        ip[11] = char(header & 0xFF);
    }
    return ip + udp;
}

QByteArray pcapngPacket(const Record &record, const Unit &u, quint16 id)
{
    const Link &link = record.link(u.link);
    const bool sent = u.direction == Direction::Sent;
    const QByteArray packet = ipPacket(sent ? link.local : link.peer, sent ? link.peer : link.local, u.bytes, id);
    const qsizetype padded = (packet.size() + 3) / 4 * 4;
    const quint32 total = quint32(32 + padded);
    QByteArray block;
    le32(block, kEnhancedPacket);
    le32(block, total);
    le32(block, 0); // the one interface
    le32(block, quint32(quint64(u.us) >> 32));
    le32(block, quint32(quint64(u.us) & 0xFFFFFFFF));
    le32(block, quint32(packet.size()));
    le32(block, quint32(packet.size()));
    block += packet;
    block.append(padded - packet.size(), '\0');
    le32(block, total);
    return block;
}

QByteArray jsonString(const QString &text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            out.append('\\').append(c);
        else if (uchar(c) < 0x20)
            out += "\\u00" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        else
            out.append(c);
    }
    return out + '"';
}

QByteArray csvField(const QString &text)
{
    QByteArray utf8 = text.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
        return utf8;
    return '"' + utf8.replace("\"", "\"\"") + '"';
}

QString timeText(qint64 us)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(us / 1000, Qt::UTC);
    return at.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.")) +
           QStringLiteral("%1Z").arg(us % 1000000, 6, 10, QLatin1Char('0'));
}

QString kindText(quint8 kind)
{
    QStringList names;
    const char *const all[] = {"console", "program", "flash", "rtu"};
    for (int bit = 0; bit < int(std::size(all)); ++bit)
        if (kind & (1 << bit))
            names << QString::fromLatin1(all[bit]);
    return names.join(QLatin1Char('+'));
}

QString milliseconds(qint64 us)
{
    return QString::number(us / 1000.0, 'f', 3);
}
} // namespace

std::optional<Format> formatOf(const QString &path)
{
    const QString name = path.toLower();
    if (name.endsWith(QLatin1String(".jsonl")))
        return Format::JsonLines;
    if (name.endsWith(QLatin1String(".csv")))
        return Format::Csv;
    if (name.endsWith(QLatin1String(".pcapng")))
        return Format::Pcapng;
    return std::nullopt;
}

QByteArray Trace::start() const
{
    QByteArray out;
    switch (m_format) {
    case Format::JsonLines:
        break;
    case Format::Csv:
        for (const char *field : kTraceFields)
            out += QByteArray(out.isEmpty() ? "" : ",") + field;
        out += "\r\n";
        break;
    case Format::Pcapng:
        le32(out, kSectionHeader);
        le32(out, 28);
        le32(out, kByteOrderMagic);
        le16(out, 1);
        le16(out, 0);
        le32(out, 0xFFFFFFFF); // the section's length is not known
        le32(out, 0xFFFFFFFF);
        le32(out, 28);
        le32(out, kInterfaceDescription);
        le32(out, 20);
        le16(out, kLinkTypeRaw);
        le16(out, 0);
        le32(out, 0); // no snapshot length: every byte is kept
        le32(out, 20);
        break;
    }
    return out;
}

QByteArray Trace::unit(const Record &record, qint64 n)
{
    const Unit &u = record.at(n);
    if (m_format == Format::Pcapng)
        return u.form == Form::Datagram ? pcapngPacket(record, u, ++m_ipId) : QByteArray();
    const char *const directions[] = {"sent", "received", "note"};
    const char *const forms[] = {"datagram", "write", "chunk", "frame", "note"};
    const bool answers = u.request >= 0;
    // Each field as JSON; CSV takes the same values with its own quoting.
    const QString values[] = {
        QString::number(n),
        timeText(u.us),
        m_lastUs < 0 ? QStringLiteral("0.000") : milliseconds(u.us - m_lastUs),
        QString::fromLatin1(directions[int(u.direction)]),
        QString::fromLatin1(forms[int(u.form)]),
        QString::fromLatin1(u.direction == Direction::Note ? QByteArray() : record.link(u.link).name),
        kindText(u.kind),
        QString::number(u.bytes.size()),
        QString::fromLatin1(u.bytes.toByteArray().toHex()),
        visibleText(u.bytes),
        decode(record, n).summary,
        answers ? QString::number(u.request) : QString(),
        answers ? milliseconds(u.replyUs) : QString(),
    };
    static_assert(std::size(values) == std::size(kTraceFields));
    m_lastUs = u.us;
    QByteArray line;
    for (size_t i = 0; i < std::size(values); ++i) {
        const bool number = i == 0 || i == 2 || i == 7 || i == 11 || i == 12;
        if (m_format == Format::Csv) {
            line += (i ? "," : "") + csvField(values[i]);
            continue;
        }
        const QByteArray value = values[i].isEmpty() && number ? "null"
                                 : number                      ? values[i].toLatin1()
                                                               : jsonString(values[i]);
        line += (i ? ",\"" : "{\"") + QByteArray(kTraceFields[i]) + "\":" + value;
    }
    return line + (m_format == Format::Csv ? "\r\n" : "}\n");
}
} // namespace Monitor
