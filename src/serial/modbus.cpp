// SPDX-License-Identifier: MIT
#include "modbus.h"

#include "platform/failure.h"

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
    return QByteArray{char(crc & 0xFF), char(crc >> 8)};
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

} // namespace Modbus
