// SPDX-License-Identifier: MIT
#include "address.h"

namespace Address
{

HostPort split(QByteArrayView entry)
{
    const QByteArray text = entry.toByteArray().trimmed();
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        if (close > 0) {
            const QByteArray rest = text.mid(close + 1).trimmed();
            if (rest.isEmpty())
                return {text.mid(1, close - 1).trimmed(), false, {}};
            if (rest.startsWith(':'))
                return {text.mid(1, close - 1).trimmed(), true, rest.mid(1).trimmed()};
        }
        return {text, false, {}}; // not an address in brackets: the socket judges the whole
    }
    // Two colons or more make an IPv6 address, which carries no port unless it is written in brackets.
    const qsizetype colon = text.indexOf(':');
    if (colon < 0 || text.indexOf(':', colon + 1) >= 0)
        return {text, false, {}};
    return {text.left(colon).trimmed(), true, text.mid(colon + 1).trimmed()};
}

quint16 port(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 5)
        return 0;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value <= 65535 ? quint16(value) : 0;
}

} // namespace Address
