// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

/// Modbus RTU framing as the device speaks it on the serial line: pure functions over bytes.
namespace Modbus
{
/// The function code of the device's console commands, one the Modbus standard leaves to its users.
inline constexpr char kConsoleFunction = 'C';

/// CRC-16/MODBUS (initial FFFF, reflected polynomial A001) of `bytes`. "123456789" gives 4B37; the empty
/// text gives FFFF; any frame followed by its own CRC, low byte first, gives 0.
quint16 crc16(QByteArrayView bytes);

/// The CRC as it travels: two bytes, low byte first. "123456789" gives 37 4B.
QByteArray crcBytes(QByteArrayView bytes);

/// A frame: address, function, byte count, the data, and the CRC of all that, low byte first.
/// Station 16 with the console line VER CR LF gives 10 43 05 56 45 52 0D 0A 4B D0. The data must fit the
/// one-byte count (at most 255 bytes); a longer one fails with 6 ("Overflow").
QByteArray frame(quint8 address, char function, QByteArrayView data);

/// The slave address typed in the address box: the number the text starts with, blanks ignored, a fraction
/// rounded to the nearest integer (halves to even), 0 when the text starts with no number ("", "x1"). " 16"
/// and "16 A" give 16, "2.5" 2, "1e2" 100. No address when the number lies outside 0 to 255 ("300", "-1").
std::optional<quint8> station(QByteArrayView text);
} // namespace Modbus
