// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <deque>

/// Where each line of the receive pane starts, read from the model's bytes as they come and dropped with the
/// pane's cuts, so that its views find any line at once and pay only for the bytes appended or cut. CR LF, a lone CR
/// and a lone LF each end a line, also when CR LF is split over two appends: a CR at the end ends its line at once,
/// and the LF that comes later joins its break. The starts are counted from the first byte of the text as it was
/// last replaced, modulo 2^32, so that a cut moves none of them (the pane holds far fewer bytes than that).
class LineIndex
{
public:
    /// What a cut took: the lines that went whole, and how far into the line that is now the first it went (a line
    /// longer than what the pane keeps loses its start).
    struct Cut {
        qsizetype lines = 0;
        qsizetype within = 0;
    };

    /// The text was replaced: nothing of it is read.
    void reset();
    /// Reads what `text` gained since the last time.
    void take(const QByteArray &text);
    /// The first `removed` bytes of the text went.
    Cut cut(qsizetype removed);

    /// The lines read; the last one, maybe empty, grows with the next bytes.
    qsizetype count() const { return qsizetype(m_starts.size()); }
    /// Where line `line` starts in the text, and where the next one starts (the end of what was read, for the last).
    qsizetype start(qsizetype line) const { return line == 0 ? 0 : offset(m_starts[size_t(line)]); }
    qsizetype next(qsizetype line) const { return line + 1 < count() ? start(line + 1) : read(); }
    /// Where the line's characters end: before its CR LF, CR or LF.
    qsizetype end(qsizetype line, const QByteArray &text) const;
    /// The line that holds byte `offset` of the text.
    qsizetype lineOf(qsizetype offset) const;
    /// The line's start as it was read, which stays the same whatever is cut before it: a name for the line.
    quint32 id(qsizetype line) const { return m_starts[size_t(line)]; }
    /// The bytes read: what the views show so far.
    qsizetype read() const { return offset(m_read); }
    /// The longest line read since the text was replaced, its line break included.
    qsizetype longest() const { return m_longest; }

private:
    qsizetype offset(quint32 at) const { return qsizetype(quint32(at - m_base)); }

    std::deque<quint32> m_starts{0}; // the first may lie before the text when the cut fell inside its line
    quint32 m_base = 0;              // where the text's first byte stands
    quint32 m_read = 0;
    qsizetype m_longest = 0;
};
