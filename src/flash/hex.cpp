// SPDX-License-Identifier: MIT
#include "hex.h"

#include <array>

namespace
{
constexpr std::array<qint8, 256> makeDigitTable()
{
    std::array<qint8, 256> table{};
    for (int c = '0'; c <= '9'; ++c)
        table[c] = qint8(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] = qint8(c - 'A' + 10);
    return table;
}

constexpr std::array<qint8, 256> kDigit = makeDigitTable();
constexpr char kUpperDigits[] = "0123456789ABCDEF";
} // namespace

qint16 Hex::digitValue(char c)
{
    return kDigit[uchar(c)];
}

QByteArray Hex::encode(QByteArrayView bytes)
{
    QByteArray hex(bytes.size() * 2, Qt::Uninitialized);
    char *out = hex.data();
    for (const char byte : bytes) {
        const uchar b = uchar(byte);
        *out++ = kUpperDigits[b >> 4];
        *out++ = kUpperDigits[b & 0x0F];
    }
    return hex;
}

qint16 Hex::pairValue(QByteArrayView text, qsizetype i)
{
    const qsizetype first = 2 * i - 2; // 0-based index of the pair's first character
    if (i < 1 || first >= text.size())
        return 0;
    if (first + 1 == text.size())
        return digitValue(text[first]);
    return qint16(16 * digitValue(text[first]) + digitValue(text[first + 1]));
}
