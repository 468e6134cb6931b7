// SPDX-License-Identifier: MIT
#include "modbus.h"

#include "platform/failure.h"

#include <cmath>

namespace Modbus
{

quint16 crc16(QByteArrayView bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray crcBytes(QByteArrayView bytes)
{
    const quint16 crc = crc16(bytes);
    // Two bytes appended one by one: QByteArray{a, b} would be a copies of b.
    QByteArray out;
    out.append(char(crc & 0xFF)).append(char(crc >> 8));
    return out;
}

QByteArray frame(quint8 address, char function, QByteArrayView data)
{
    if (data.size() > 255)
        throw Failure(Err::Overflow, QStringLiteral("Overflow: %1 bytes do not fit one frame").arg(data.size()));
    QByteArray out;
    out.reserve(data.size() + 5);
    out.append(char(address)).append(function).append(char(data.size())).append(data);
    out.append(crcBytes(out));
    return out;
}

std::optional<quint8> station(QByteArrayView text)
{
    // Blanks, tabs and line feeds count for nothing, even between the digits.
    QByteArray s;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n')
            s.append(c);
    const auto digitsAt = [&s](qsizetype i) {
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        return i;
    };
    qsizetype end = (s.startsWith('+') || s.startsWith('-')) ? 1 : 0;
    const qsizetype intStart = end;
    end = digitsAt(end);
    bool digits = end > intStart;
    if (end < s.size() && s[end] == '.') {
        const qsizetype fracEnd = digitsAt(end + 1);
        digits = digits || fracEnd > end + 1;
        end = fracEnd;
    }
    if (!digits)
        return quint8(0);
    if (end < s.size() && (s[end] == 'e' || s[end] == 'E')) {
        const qsizetype sign = (end + 1 < s.size() && (s[end + 1] == '+' || s[end + 1] == '-')) ? 1 : 0;
        const qsizetype expEnd = digitsAt(end + 1 + sign);
        if (expEnd > end + 1 + sign)
            end = expEnd;
    }
    const double rounded = std::nearbyint(s.left(end).toDouble());
    if (!(rounded >= 0 && rounded <= 255))
        return std::nullopt;
    return quint8(rounded);
}

} // namespace Modbus
