// SPDX-License-Identifier: MIT
#include "lineindex.h"

#include <algorithm>

void LineIndex::reset()
{
    m_starts.assign(1, 0);
    m_base = m_read = 0;
    m_longest = 0;
}

void LineIndex::take(const QByteArray &text)
{
    const char *d = text.constData();
    const qsizetype n = text.size();
    qsizetype i = read();
    // The text ended with a CR, taken as a line break at once; its LF has come since and belongs to that break.
    if (i > 0 && i < n && d[i - 1] == '\r' && d[i] == '\n' && count() > 1 && start(count() - 1) == i) {
        ++m_starts.back();
        ++i;
    }
    qsizetype lineStart = start(count() - 1);
    for (; i < n; ++i) {
        if (d[i] == '\n' || (d[i] == '\r' && (i + 1 == n || d[i + 1] != '\n'))) {
            m_longest = qMax(m_longest, i + 1 - lineStart);
            lineStart = i + 1;
            m_starts.push_back(m_base + quint32(lineStart));
        }
    }
    m_read = m_base + quint32(n);
}

LineIndex::Cut LineIndex::cut(qsizetype removed)
{
    if (removed <= 0)
        return {};
    Cut cut;
    if (removed > read()) {
        // Bytes never read went: what is left starts a line.
        cut.lines = count();
        m_starts.assign(1, m_base + quint32(removed));
        m_read = m_base + quint32(removed);
    } else {
        while (count() > 1 && start(1) <= removed) {
            m_starts.pop_front();
            ++cut.lines;
        }
        cut.within = removed - (cut.lines > 0 ? offset(m_starts.front()) : 0);
    }
    m_base += quint32(removed);
    return cut;
}

qsizetype LineIndex::end(qsizetype line, const QByteArray &text) const
{
    const qsizetype first = start(line);
    qsizetype end = next(line);
    if (end > first && text[end - 1] == '\n')
        --end;
    if (end > first && text[end - 1] == '\r')
        --end;
    return end;
}

qsizetype LineIndex::lineOf(qsizetype at) const
{
    // The first line always starts at the text's start, whatever its own start was before a cut.
    const auto later = std::upper_bound(m_starts.begin() + 1, m_starts.end(), at,
                                        [this](qsizetype o, quint32 s) { return o < offset(s); });
    return qsizetype(later - m_starts.begin()) - 1;
}
