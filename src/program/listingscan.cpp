// SPDX-License-Identifier: MIT
#include "listingscan.h"

#include <utility>

namespace
{
/// Just past the line end that follows `from` (CR, LF or CR LF); -1 when the line goes on past the text.
qsizetype lineEndAfter(const QByteArray &text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text[i] == '\n')
            return i + 1;
        if (text[i] == '\r')
            return i + 1 < text.size() && text[i + 1] == '\n' ? i + 2 : i + 1;
    }
    return -1;
}
} // namespace

QByteArray ListingScan::take(QByteArrayView piece, bool &ended)
{
    ended = false;
    QByteArray data = std::exchange(m_head, {});
    data.append(piece);
    // The LF of a CR LF cut after its CR ends the line before; it starts no line of its own.
    qsizetype at = std::exchange(m_afterCR, false) && data.startsWith('\n') ? 1 : 0;
    while (at < data.size()) {
        const qsizetype end = lineEndAfter(data, at);
        const qsizetype next = end < 0 ? data.size() : end;
        if (!m_midLine) {
            const QByteArrayView head = QByteArrayView(data).sliced(at, qMin<qsizetype>(5, next - at));
            if (head.contains("OK")) {
                ended = true;
                return data.left(at);
            }
            if (end < 0 && head.size() < 5) {
                m_head = data.mid(at);
                return data.left(at);
            }
        }
        m_midLine = end < 0;
        at = next;
    }
    m_afterCR = data.endsWith('\r');
    return data;
}

QByteArray ListingScan::release()
{
    return std::exchange(m_head, {});
}
