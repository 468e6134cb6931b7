// SPDX-License-Identifier: MIT
#include "panerows.h"

#include "app/charset.h"
#include "app/element.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QtMath>

#include <algorithm>

namespace PaneRender
{
QString stamp(qint64 ms, bool sent)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss.zzz")) + QLatin1Char(sent ? '>' : ' ');
}

QString noStamp()
{
    return QString(13, QLatin1Char(' '));
}

int hexColumn(int k)
{
    return 10 + 3 * k + (k >= 8 ? 1 : 0);
}

int charColumn(int k, int perRow)
{
    return 11 + 3 * perRow + (perRow > 8 ? 1 : 0) + k;
}

int hexWidth(int perRow)
{
    return charColumn(perRow, perRow);
}

QString hexRow(QByteArrayView bytes, qsizetype offset, int perRow)
{
    static const char digits[] = "0123456789ABCDEF";
    QString row = QStringLiteral("%1").arg(offset, 8, 16, QLatin1Char('0')).toUpper();
    const int shown = int(qMin<qsizetype>(bytes.size(), perRow));
    row.resize(charColumn(shown, perRow), QLatin1Char(' '));
    for (int k = 0; k < shown; ++k) {
        const uchar byte = uchar(bytes[k]);
        row[hexColumn(k)] = QLatin1Char(digits[byte >> 4]);
        row[hexColumn(k) + 1] = QLatin1Char(digits[byte & 15]);
        const QChar c = Charset::toUnicode(byte);
        row[charColumn(k, perRow)] = c.isPrint() ? c : QLatin1Char('.');
    }
    return row;
}

QString textRow(QByteArrayView line)
{
    QString row;
    row.reserve(line.size());
    for (const char byte : line) {
        if (byte == '\t')
            row.append(QString(8 - row.size() % 8, QLatin1Char(' ')));
        else
            row.append(Charset::toUnicode(uchar(byte)));
    }
    return row;
}
} // namespace PaneRender

PaneRows::PaneRows(const TextBox &box, QWidget *parent) : QAbstractScrollArea(parent), m_box(box)
{
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(1);
    for (int b = 0; b < 256; ++b)
        m_fold[size_t(b)] = uchar(Charset::toUpper(QByteArray(1, char(b))).at(0));
}

void PaneRows::setView(bool hex, bool stamps)
{
    m_hex = hex;
    m_stamps = stamps;
    m_anchor = m_cursor = -1;
    std::vector<qsizetype>().swap(m_lines);
    m_indexed = 0;
    m_widest = 0;
    if (!m_hex) {
        m_lines.push_back(0);
        indexLines();
    }
    fitRows();
    updateScrollBars();
    viewport()->update();
}

void PaneRows::fitRows()
{
    // Halved until a row, its stamp included, fits: the characters are never cut off at the right.
    const qreal charWidth = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
    const int stamp = m_stamps ? int(PaneRender::noStamp().size()) : 0;
    int perRow = PaneRender::kHexBytes;
    while (perRow > 1 && qCeil((stamp + PaneRender::hexWidth(perRow)) * charWidth) + 8 > viewport()->width())
        perRow /= 2;
    if (perRow == m_perRow)
        return;
    const qsizetype topByte = verticalScrollBar()->value() * qsizetype(m_perRow);
    m_perRow = perRow;
    if (!m_hex)
        return;
    m_anchor = m_cursor = -1;
    updateScrollBars();
    verticalScrollBar()->setValue(int(topByte / m_perRow));
}

void PaneRows::indexLines()
{
    const QByteArray &text = m_box.Text();
    const char *d = text.constData();
    const qsizetype n = text.size();
    qsizetype i = m_indexed;
    const auto lineAt = [this](qsizetype start) {
        m_widest = qMax(m_widest, start - m_lines.back());
        m_lines.push_back(start);
    };
    // The text ended with a CR, taken as a line break at once; its LF has come since and belongs to that break.
    if (i > 0 && i < n && d[i - 1] == '\r' && d[i] == '\n' && m_lines.back() == i) {
        m_lines.back() = i + 1;
        ++i;
    }
    // CR LF, a lone CR and a lone LF each end a line, as in the text view.
    for (; i < n; ++i) {
        if (d[i] == '\n')
            lineAt(i + 1);
        else if (d[i] == '\r' && (i + 1 == n || d[i + 1] != '\n'))
            lineAt(i + 1);
    }
    m_indexed = i;
}

qsizetype PaneRows::rowCount() const
{
    if (m_hex)
        return (m_box.Text().size() + m_perRow - 1) / m_perRow;
    return qsizetype(m_lines.size());
}

std::pair<qsizetype, qsizetype> PaneRows::rowBytes(qsizetype row) const
{
    const QByteArray &text = m_box.Text();
    if (m_hex)
        return {row * m_perRow, qMin(text.size(), (row + 1) * m_perRow)};
    const qsizetype first = m_lines[size_t(row)];
    qsizetype end = size_t(row + 1) < m_lines.size() ? m_lines[size_t(row + 1)] : text.size();
    if (end > first && text[end - 1] == '\n')
        --end;
    if (end > first && text[end - 1] == '\r')
        --end;
    return {first, end};
}

qsizetype PaneRows::rowOf(qsizetype offset) const
{
    if (m_hex)
        return offset / m_perRow;
    return qsizetype(std::upper_bound(m_lines.begin(), m_lines.end(), offset) - m_lines.begin()) - 1;
}

const TextBox::Arrival *PaneRows::rowStamp(qsizetype row) const
{
    // A row holds the bytes up to the next row's first, its line break included.
    const qsizetype first = m_hex ? row * m_perRow : m_lines[size_t(row)];
    qsizetype next = m_box.Text().size();
    if (m_hex)
        next = qMin(next, first + m_perRow);
    else if (size_t(row + 1) < m_lines.size())
        next = m_lines[size_t(row + 1)];
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

int PaneRows::rowHeight() const
{
    return qMax(1, fontMetrics().lineSpacing());
}

int PaneRows::visibleRows() const
{
    return qMax(1, viewport()->height() / rowHeight());
}

qsizetype PaneRows::rowAt(int y) const
{
    const qsizetype row = verticalScrollBar()->value() + qMax(0, y) / rowHeight();
    return qMin(row, rowCount() - 1);
}

void PaneRows::updateScrollBars()
{
    QScrollBar *v = verticalScrollBar();
    v->setPageStep(visibleRows());
    v->setRange(0, int(qMax<qsizetype>(0, rowCount() - visibleRows())));
    qsizetype widest = PaneRender::hexWidth(m_perRow);
    if (!m_hex && !m_lines.empty())
        widest = qMax(m_widest, m_box.Text().size() - m_lines.back());
    if (m_stamps)
        widest += PaneRender::noStamp().size();
    const qreal charWidth = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
    QScrollBar *h = horizontalScrollBar();
    h->setPageStep(viewport()->width());
    h->setSingleStep(qCeil(charWidth));
    h->setRange(0, qMax(0, qCeil(widest * charWidth) + 8 - viewport()->width()));
}

void PaneRows::textReplaced()
{
    setView(m_hex, m_stamps);
    m_match = -1;
}

void PaneRows::trimmed(qsizetype removed)
{
    qsizetype rowsGone = removed / m_perRow;
    if (!m_hex) {
        const auto kept = std::lower_bound(m_lines.begin(), m_lines.end(), removed);
        rowsGone = kept - m_lines.begin();
        m_lines.erase(m_lines.begin(), kept);
        for (qsizetype &start : m_lines)
            start -= removed;
        // Cut inside a line longer than what the pane keeps: what is left of it is the first line.
        if (m_lines.empty() || m_lines.front() != 0)
            m_lines.insert(m_lines.begin(), 0);
        m_indexed = qMax<qsizetype>(0, m_indexed - removed);
    }
    m_match = m_match >= removed ? m_match - removed : -1;
    m_anchor = m_cursor = -1;
    // What the user is reading stays in view.
    QScrollBar *v = verticalScrollBar();
    const bool atEnd = v->value() >= v->maximum();
    const int top = int(qMax<qsizetype>(0, v->value() - rowsGone));
    updateScrollBars();
    v->setValue(atEnd ? v->maximum() : top);
    viewport()->update();
}

void PaneRows::takeAppends()
{
    QScrollBar *v = verticalScrollBar();
    const bool atEnd = v->value() >= v->maximum();
    if (!m_hex)
        indexLines();
    updateScrollBars();
    if (atEnd)
        v->setValue(v->maximum());
    viewport()->update();
}

void PaneRows::release()
{
    std::vector<qsizetype>().swap(m_lines);
    m_indexed = 0;
    m_anchor = m_cursor = m_match = -1;
}

void PaneRows::scrollToEnd()
{
    updateScrollBars();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

qsizetype PaneRows::topRow() const
{
    return verticalScrollBar()->value();
}

void PaneRows::showRow(qsizetype row)
{
    updateScrollBars();
    verticalScrollBar()->setValue(int(qBound<qsizetype>(0, row, qsizetype(verticalScrollBar()->maximum()))));
}

qsizetype PaneRows::rowOfLine(qsizetype line) const
{
    if (!m_hex)
        return line;
    // The line's first byte: count line breaks as the text view does.
    const QByteArray &text = m_box.Text();
    qsizetype seen = 0;
    for (qsizetype i = 0; i < text.size() && seen < line; ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            if (++seen == line)
                return rowOf(i + 1);
    return rowCount() - 1;
}

qsizetype PaneRows::lineOfRow(qsizetype row) const
{
    if (!m_hex)
        return row;
    const QByteArray &text = m_box.Text();
    const qsizetype end = qMin(text.size(), row * m_perRow);
    qsizetype line = 0;
    for (qsizetype i = 0; i < end; ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++line;
    return line;
}

void PaneRows::selectAll()
{
    if (rowCount() == 0)
        return;
    m_anchor = 0;
    m_cursor = rowCount() - 1;
    viewport()->update();
}

QString PaneRows::selectedText() const
{
    if (m_anchor < 0)
        return {};
    QStringList rows;
    for (qsizetype row = qMin(m_anchor, m_cursor); row <= qMax(m_anchor, m_cursor); ++row)
        rows << rowText(row);
    return rows.join(QLatin1Char('\n'));
}

bool PaneRows::find(const QByteArray &needle, bool backward)
{
    const QByteArray &text = m_box.Text();
    const qsizetype n = needle.size();
    const qsizetype places = text.size() - n + 1;
    if (n == 0 || places <= 0)
        return false;
    QByteArray folded(n, Qt::Uninitialized);
    for (qsizetype k = 0; k < n; ++k)
        folded[k] = char(m_fold[uchar(needle[k])]);
    const auto matchAt = [&](qsizetype i) {
        for (qsizetype k = 0; k < n; ++k)
            if (m_fold[uchar(text[i + k])] != uchar(folded[k]))
                return false;
        return true;
    };
    // From the last match on, or from the first row in view.
    qsizetype from = m_match;
    if (from < 0)
        from = rowCount() > 0 ? rowBytes(verticalScrollBar()->value()).first - (backward ? 0 : 1) : 0;
    for (qsizetype step = 1; step <= places; ++step) {
        const qsizetype i = ((from + (backward ? -step : step)) % places + places) % places;
        if (!matchAt(i))
            continue;
        m_match = i;
        m_matchLength = n;
        const qsizetype row = rowOf(i);
        const qsizetype top = verticalScrollBar()->value();
        if (row < top || row >= top + visibleRows())
            verticalScrollBar()->setValue(int(row - visibleRows() / 2));
        viewport()->update();
        return true;
    }
    return false;
}

void PaneRows::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const int height = rowHeight();
    // Glyphs advance by a fraction of a pixel: marks placed by whole pixels would drift off their characters.
    const qreal charWidth = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
    const int x0 = 4 - horizontalScrollBar()->value();
    const qsizetype top = verticalScrollBar()->value();
    const qsizetype selFirst = qMin(m_anchor, m_cursor), selLast = qMax(m_anchor, m_cursor);
    const int prefix = m_stamps ? int(PaneRender::noStamp().size()) : 0;
    for (qsizetype row = top; row < rowCount() && (row - top) * height < viewport()->height(); ++row) {
        const QRect line(0, int(row - top) * height, viewport()->width(), height);
        const bool selected = m_anchor >= 0 && row >= selFirst && row <= selLast;
        if (selected)
            p.fillRect(line, palette().highlight());
        // The found bytes are marked where they show: in hex and as characters, or in the line.
        const auto [first, end] = rowBytes(row);
        const qsizetype from = qMax(first, m_match), to = qMin(end, m_match + m_matchLength);
        if (m_match >= 0 && from < to) {
            const QColor mark(255, 220, 0);
            for (qsizetype i = from; i < to; ++i) {
                const int k = int(i - first);
                const auto cell = [&](int column, int width) {
                    p.fillRect(QRectF(x0 + (prefix + column) * charWidth, line.y(), width * charWidth, height), mark);
                };
                if (m_hex) {
                    cell(PaneRender::hexColumn(k), 2);
                    cell(PaneRender::charColumn(k, m_perRow), 1);
                } else {
                    cell(k, 1);
                }
            }
        }
        p.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        p.drawText(x0, line.y() + fontMetrics().ascent(), rowText(row));
    }
}

void PaneRows::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    fitRows();
    updateScrollBars();
}

void PaneRows::mousePressEvent(QMouseEvent *event)
{
    if (rowCount() == 0 || event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    m_cursor = rowAt(event->position().toPoint().y());
    if (!(event->modifiers() & Qt::ShiftModifier) || m_anchor < 0)
        m_anchor = m_cursor;
    viewport()->update();
}

void PaneRows::mouseMoveEvent(QMouseEvent *event)
{
    if (m_anchor < 0 || !(event->buttons() & Qt::LeftButton))
        return QAbstractScrollArea::mouseMoveEvent(event);
    const int y = event->position().toPoint().y();
    // Dragging past the edge scrolls on.
    if (y < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (y > viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    m_cursor = rowAt(qMin(y, viewport()->height() - 1));
    viewport()->update();
}

void PaneRows::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier && event->key() == Qt::Key_Home)
        verticalScrollBar()->setValue(0);
    else if (event->modifiers() & Qt::ControlModifier && event->key() == Qt::Key_End)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    else
        QAbstractScrollArea::keyPressEvent(event);
}
