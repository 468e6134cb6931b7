// SPDX-License-Identifier: MIT
#include "panerows.h"

#include <QPainter>
#include <QScrollBar>
#include <QtMath>

#include <algorithm>

PaneRows::PaneRows(const TextBox &box, const LineIndex &lines, QWidget *parent)
    : RowView(parent, Selects::Rows, Keys::Scroll), m_box(box), m_lines(lines)
{
}

qreal PaneRows::charWidth() const
{
    return QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
}

void PaneRows::setView(bool hex, bool stamps)
{
    m_hex = hex;
    m_stamps = stamps;
    m_match = -1;
    fitRows();
    rowsReset();
}

void PaneRows::fitRows()
{
    // Halved until a row, its stamp included, fits: the characters are never cut off at the right.
    const int stamp = m_stamps ? int(PaneRender::noStamp().size()) : 0;
    int perRow = PaneRender::kHexBytes;
    while (perRow > 1 && qCeil((stamp + PaneRender::hexWidth(perRow)) * charWidth()) + 8 > viewport()->width())
        perRow /= 2;
    if (perRow == m_perRow)
        return;
    const qsizetype topByte = topRow() * qsizetype(m_perRow);
    m_perRow = perRow;
    if (!m_hex)
        return;
    rowsReset();
    setTopRow(topByte / m_perRow);
}

qsizetype PaneRows::rowCount() const
{
    if (m_hex)
        return (m_box.Text().size() + m_perRow - 1) / m_perRow;
    return m_lines.count();
}

std::pair<qsizetype, qsizetype> PaneRows::rowBytes(qsizetype row) const
{
    if (m_hex)
        return {row * m_perRow, qMin(m_box.Text().size(), (row + 1) * m_perRow)};
    return {m_lines.start(row), m_lines.end(row, m_box.Text())};
}

const TextBox::Arrival *PaneRows::rowStamp(qsizetype row) const
{
    // A row holds the bytes up to the next row's first, its line break included.
    const qsizetype first = m_hex ? row * m_perRow : m_lines.start(row);
    const qsizetype next = m_hex ? qMin(m_box.Text().size(), first + m_perRow) : m_lines.next(row);
    const QList<TextBox::Arrival> &arrivals = m_box.arrivals();
    const auto at = std::lower_bound(arrivals.begin(), arrivals.end(), first,
                                     [](const TextBox::Arrival &a, qsizetype offset) { return a.offset < offset; });
    return at != arrivals.end() && at->offset < next ? &*at : nullptr;
}

QString PaneRows::rowText(qsizetype row) const
{
    const auto [first, end] = rowBytes(row);
    const QByteArrayView bytes = QByteArrayView(m_box.Text()).sliced(first, end - first);
    QString prefix;
    if (m_stamps) {
        const TextBox::Arrival *arrival = rowStamp(row);
        // The empty line after the last line break has nothing to line up with.
        if (arrival)
            prefix = PaneRender::stamp(arrival->ms, arrival->sent);
        else if (!bytes.isEmpty())
            prefix = PaneRender::noStamp();
    }
    return prefix + (m_hex ? PaneRender::hexRow(bytes, first, m_perRow) : PaneRender::textRow(bytes));
}

int PaneRows::rowWidth() const
{
    qsizetype widest = PaneRender::hexWidth(m_perRow);
    if (!m_hex)
        widest = qMax(m_lines.longest(), m_lines.read() - m_lines.start(m_lines.count() - 1));
    if (m_stamps)
        widest += PaneRender::noStamp().size();
    return qCeil(widest * charWidth());
}

void PaneRows::textReplaced()
{
    setView(m_hex, m_stamps);
}

void PaneRows::trimmed(qsizetype removed, LineIndex::Cut cut)
{
    m_match = m_match >= removed ? m_match - removed : -1;
    if (m_hex)
        rowsRemovedAtStart(removed / m_perRow);
    else
        rowsRemovedAtStart(cut.lines);
}

qsizetype PaneRows::rowOfLine(qsizetype line) const
{
    if (!m_hex)
        return line;
    return m_lines.start(qMin(line, m_lines.count() - 1)) / m_perRow;
}

qsizetype PaneRows::lineOfRow(qsizetype row) const
{
    return m_hex ? m_lines.lineOf(row * m_perRow) : row;
}

bool PaneRows::find(const QByteArray &needle, bool backward)
{
    // From the last match on, or from the first row in view.
    qsizetype from = m_match;
    if (from < 0)
        from = rowCount() > 0 ? rowBytes(topRow()).first - (backward ? 0 : 1) : 0;
    const qsizetype at = PaneRender::find(m_box.Text(), needle, from, backward);
    if (at < 0)
        return false;
    m_match = at;
    m_matchLength = needle.size();
    showRow(m_hex ? at / m_perRow : m_lines.lineOf(at));
    viewport()->update();
    return true;
}

void PaneRows::paintRow(QPainter &p, qsizetype row, const QRect &rect, bool) const
{
    // Glyphs advance by a fraction of a pixel: marks placed by whole pixels would drift off their characters.
    const qreal width = charWidth();
    const int prefix = m_stamps ? int(PaneRender::noStamp().size()) : 0;
    // The found bytes are marked where they show: in hex and as characters, or in the line.
    const auto [first, end] = rowBytes(row);
    const qsizetype from = qMax(first, m_match), to = qMin(end, m_match + m_matchLength);
    if (m_match >= 0 && from < to) {
        const QColor mark(255, 220, 0);
        const auto cell = [&](int column, int cells) {
            p.fillRect(QRectF(rect.x() + (prefix + column) * width, rect.y(), cells * width, rect.height()), mark);
        };
        for (qsizetype i = from; i < to; ++i) {
            const int k = int(i - first);
            if (m_hex) {
                cell(PaneRender::hexColumn(k), 2);
                cell(PaneRender::charColumn(k, m_perRow), 1);
            } else {
                cell(k, 1);
            }
        }
    }
    p.drawText(rect.x(), rect.y() + fontMetrics().ascent(), rowText(row));
}

void PaneRows::resizeEvent(QResizeEvent *event)
{
    fitRows();
    RowView::resizeEvent(event);
}
