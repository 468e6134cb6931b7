// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>

/// Hexadecimal text as the flash disk exchanges it: upper-case digits, two per byte, high digit first.
namespace Hex
{
/// "0" to "9" and "A" to "F" give 0 to 15; every other character, lower-case letters included, gives 0.
qint16 digitValue(char c);

/// Two upper-case digits per byte: the bytes 10, 27 and 255 give "0A1BFF".
QByteArray encode(QByteArrayView bytes);

/// The value of the `i`-th pair (1-based: characters 2i-1 and 2i) of `text`. A pair beyond the end gives 0;
/// a pair cut by the end gives the value of its one digit.
qint16 pairValue(QByteArrayView text, qsizetype i);
} // namespace Hex
