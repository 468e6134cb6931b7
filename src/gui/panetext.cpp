// SPDX-License-Identifier: MIT
#include "panetext.h"

#include "panerender.h"

#include "app/charset.h"
#include "app/element.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <cstring>

namespace
{
/// What a screen reader reads of the text view: the text, a character a byte (CR LF as both, a lone CR as a line
/// break), the selection, and where each character shows.
class PaneAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit PaneAccessible(PaneText *view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    static QAccessibleInterface *make(const QString &className, QObject *object)
    {
        auto *view = className == QLatin1String("PaneText") ? qobject_cast<PaneText *>(object) : nullptr;
        return view ? new PaneAccessible(view) : nullptr;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = s.multiLine = s.selectableText = true;
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    void selection(int index, int *start, int *end) const override
    {
        *start = *end = 0;
        if (index == 0 && view()->hasSelection()) {
            const auto [first, last] = view()->selectedPlaces();
            *start = int(view()->offsetOf(first));
            *end = int(view()->offsetOf(last));
        }
    }
    int selectionCount() const override { return view()->hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { setCursorPosition(cursorPosition()); }
    void setSelection(int, int start, int end) override
    {
        view()->select(view()->placeOf(start), view()->placeOf(end));
    }
    int cursorPosition() const override
    {
        return view()->hasSelection() ? int(view()->offsetOf(view()->selectedPlaces().second)) : 0;
    }
    void setCursorPosition(int position) override { setSelection(0, position, position); }
    QString text(int start, int end) const override
    {
        const QByteArrayView bytes = QByteArrayView(view()->box().Text()).first(characterCount());
        start = qBound(0, start, int(bytes.size()));
        end = qBound(start, end, int(bytes.size()));
        QString text;
        text.reserve(end - start);
        for (int i = start; i < end; ++i) {
            const bool loneCR = bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n');
            text.append(loneCR ? QChar(QLatin1Char('\n')) : Charset::toUnicode(uchar(bytes[i])));
        }
        return text;
    }
    int characterCount() const override { return int(view()->lines().read()); }
    QRect characterRect(int offset) const override
    {
        const QRect rect = view()->characterRect(view()->placeOf(offset));
        return rect.isEmpty() ? rect : rect.translated(view()->viewport()->mapToGlobal(QPoint()));
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        return int(view()->offsetOf(view()->placeAt(view()->viewport()->mapFromGlobal(point))));
    }
    void scrollToSubstring(int start, int) override { view()->showRow(view()->placeOf(start).row); }
    QString attributes(int offset, int *start, int *end) const override
    {
        *start = *end = offset;
        return {};
    }

private:
    PaneText *view() const { return static_cast<PaneText *>(widget()); }
};
} // namespace

PaneText::PaneText(const TextBox &box, const LineIndex &lines, QWidget *parent)
    : RowView(parent, Selects::Characters, Keys::Scroll), m_box(box), m_lines(lines)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTopMargin(4);
    static const bool accessible = (QAccessible::installFactory(&PaneAccessible::make), true);
    Q_UNUSED(accessible);
    fitColumns();
}

bool PaneText::fitColumns()
{
    m_charWidth = qMax<qreal>(1, QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0')));
    const int columns = qMax(1, int((viewport()->width() - 2 * textLeft()) / m_charWidth));
    if (columns == m_columns)
        return false;
    m_columns = columns;
    m_wraps.clear();
    return true;
}

void PaneText::resizeEvent(QResizeEvent *event)
{
    if (fitColumns())
        wrapsChanged();
    RowView::resizeEvent(event);
}

void PaneText::changeEvent(QEvent *event)
{
    RowView::changeEvent(event);
    if (event->type() == QEvent::FontChange && fitColumns())
        wrapsChanged();
}

QString PaneText::toPlainText() const
{
    return PaneRender::plainText(m_box.Text());
}

QByteArrayView PaneText::lineBytes(qsizetype row) const
{
    const qsizetype first = m_lines.start(row);
    return QByteArrayView(m_box.Text()).sliced(first, m_lines.end(row, m_box.Text()) - first);
}

const std::vector<quint32> *PaneText::wraps(qsizetype row) const
{
    const QByteArrayView line = lineBytes(row);
    if (line.size() <= m_columns && (line.isEmpty() || !std::memchr(line.data(), '\t', size_t(line.size()))))
        return nullptr;
    const quint32 id = m_lines.id(row);
    if (m_wraps.size() >= kWrapsKept && !m_wraps.count(id))
        m_wraps.clear();
    Wraps &wraps = m_wraps[id];
    if (wraps.scanned > line.size())
        wraps = {};
    if (wraps.scanned < line.size() || wraps.starts.empty()) {
        PaneRender::wrap(line, m_columns, wraps.starts);
        wraps.scanned = line.size();
    }
    return wraps.starts.size() > 1 ? &wraps.starts : nullptr;
}

qsizetype PaneText::wrapCount(qsizetype row) const
{
    const std::vector<quint32> *starts = wraps(row);
    return starts ? qsizetype(starts->size()) : 1;
}

std::pair<qsizetype, qsizetype> PaneText::wrapBytes(qsizetype row, qsizetype wrap) const
{
    const std::vector<quint32> *starts = wraps(row);
    if (!starts)
        return {0, lineBytes(row).size()};
    const qsizetype end = size_t(wrap + 1) < starts->size() ? (*starts)[size_t(wrap + 1)] : lineBytes(row).size();
    return {(*starts)[size_t(wrap)], end};
}

qsizetype PaneText::wrapOf(qsizetype row, qsizetype column) const
{
    const std::vector<quint32> *starts = wraps(row);
    if (!starts)
        return 0;
    return qsizetype(std::upper_bound(starts->begin(), starts->end(), quint32(column)) - starts->begin()) - 1;
}

qsizetype PaneText::rowLength(qsizetype row) const
{
    return lineBytes(row).size();
}

QString PaneText::rowText(qsizetype row) const
{
    return PaneRender::plainText(lineBytes(row));
}

qsizetype PaneText::columnAt(qsizetype row, qsizetype wrap, int x) const
{
    const QByteArrayView line = lineBytes(row);
    const auto [first, end] = wrapBytes(row, wrap);
    int column = 0;
    for (qsizetype i = first; i < end; ++i) {
        const int cells = PaneRender::cells(line[i], column);
        // A click on the right half of a character is a click after it.
        if (x < (column + cells / 2.0) * m_charWidth)
            return i;
        column += cells;
    }
    return end;
}

std::pair<qsizetype, qsizetype> PaneText::wordAt(qsizetype row, qsizetype column) const
{
    return PaneRender::wordAround(lineBytes(row), column);
}

qsizetype PaneText::offsetOf(Place place) const
{
    if (place.row < 0)
        return 0;
    return m_lines.start(place.row) + qMin(place.column, rowLength(place.row));
}

RowView::Place PaneText::placeOf(qsizetype offset) const
{
    const qsizetype row = m_lines.lineOf(qBound<qsizetype>(0, offset, m_lines.read()));
    return {row, qMin(offset - m_lines.start(row), rowLength(row))};
}

QString PaneText::textBetween(Place from, Place to) const
{
    const qsizetype first = offsetOf(from);
    return PaneRender::plainText(QByteArrayView(m_box.Text()).sliced(first, offsetOf(to) - first));
}

QRect PaneText::characterRect(Place place) const
{
    const qsizetype wrap = wrapOf(place.row, place.column);
    const int y = lineY(place.row, wrap);
    if (y < 0 || y >= viewport()->height())
        return {};
    const QByteArrayView line = lineBytes(place.row);
    int column = 0;
    for (qsizetype i = wrapBytes(place.row, wrap).first; i < place.column; ++i)
        column += PaneRender::cells(line[i], column);
    return QRect(textLeft() + int(column * m_charWidth), y, qCeil(m_charWidth), rowHeight());
}

void PaneText::paintRow(QPainter &p, qsizetype row, const QRect &rect, bool) const
{
    const QByteArrayView line = lineBytes(row);
    const int height = rowHeight();
    const int ascent = fontMetrics().ascent();
    const QPen plain = p.pen();
    const QColor selectedText = palette().color(QPalette::HighlightedText);
    // The row's selected characters, its line break one more when the selection goes on past it.
    qsizetype selFrom = -1, selTo = -1;
    if (hasSelection()) {
        const auto [first, last] = selectedPlaces();
        if (first.row <= row && row <= last.row) {
            selFrom = first.row < row ? 0 : first.column;
            selTo = last.row > row ? line.size() + 1 : last.column;
        }
    }
    const qsizetype wraps = wrapCount(row);
    // The screen lines scrolled above the view, the row's first ones, are left out.
    for (qsizetype wrap = rect.y() < 0 ? (-qsizetype(rect.y()) + height - 1) / height : 0; wrap < wraps; ++wrap) {
        const int y = rect.y() + int(wrap) * height;
        if (y >= viewport()->height())
            break;
        // Runs of characters that print, each in the colour of its selection, at the columns they take.
        QString run;
        qreal runX = 0;
        bool runSelected = false;
        const auto flush = [&] {
            if (!run.isEmpty()) {
                p.setPen(runSelected ? QPen(selectedText) : plain);
                p.drawText(QPointF(runX, y + ascent), run);
                run.clear();
            }
        };
        const auto [first, end] = wrapBytes(row, wrap);
        int column = 0;
        for (qsizetype i = first; i <= end; ++i) {
            const bool breakSelected = i == end && wrap + 1 == wraps && selTo > line.size() && selFrom <= line.size();
            const bool selected = (i >= selFrom && i < selTo && i < end) || breakSelected;
            const uchar byte = i < end ? uchar(line[i]) : '\n';
            const int cells = PaneRender::cells(char(byte), column);
            const qreal x = rect.x() + column * m_charWidth;
            if (selected != runSelected || !PaneRender::prints(byte))
                flush();
            runSelected = selected;
            if (selected)
                p.fillRect(QRectF(x, y, cells * m_charWidth, height), palette().highlight());
            if (i < end && PaneRender::prints(byte)) {
                if (run.isEmpty())
                    runX = x;
                run.append(Charset::toUnicode(byte));
            }
            column += cells;
        }
        flush();
    }
    p.setPen(plain);
}

void PaneText::takeAppends(qsizetype readBefore)
{
    rowsAppended();
    const qsizetype read = m_lines.read();
    if (QAccessible::isActive() && read > readBefore) {
        QAccessibleTextInsertEvent event(
            this, int(readBefore),
            PaneRender::plainText(QByteArrayView(m_box.Text()).sliced(readBefore, read - readBefore)));
        QAccessible::updateAccessibility(&event);
    }
}

void PaneText::textReplaced()
{
    m_wraps.clear();
    rowsReset();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::TextUpdated);
        QAccessible::updateAccessibility(&event);
    }
}

void PaneText::trimmed(const QByteArray &removed, LineIndex::Cut cut)
{
    // A line longer than what the pane keeps lost its start: its screen lines now count from the first byte left,
    // the one cut into the shorter for it.
    if (cut.within > 0) {
        if (const auto kept = m_wraps.find(m_lines.id(0)); kept != m_wraps.end()) {
            Wraps &wraps = kept->second;
            std::vector<quint32> starts{0};
            for (const quint32 start : wraps.starts)
                if (start > cut.within)
                    starts.push_back(quint32(start - cut.within));
            wraps.starts = std::move(starts);
            wraps.scanned = qMax<qsizetype>(0, wraps.scanned - cut.within);
        }
    }
    rowsRemovedAtStart(cut.lines, cut.within);
    if (QAccessible::isActive()) {
        QAccessibleTextRemoveEvent event(this, 0, PaneRender::plainText(removed));
        QAccessible::updateAccessibility(&event);
    }
}

bool PaneText::find(const QByteArray &needle, bool backward)
{
    // From the selection, where the last match is, or from the first row in view.
    qsizetype from = 0;
    if (hasSelection())
        from = offsetOf(selectedPlaces().first);
    else if (rowCount() > 0)
        from = m_lines.start(topRow()) - (backward ? 0 : 1);
    const qsizetype at = PaneRender::find(QByteArrayView(m_box.Text()).first(m_lines.read()), needle, from, backward);
    if (at < 0)
        return false;
    select(placeOf(at), placeOf(at + needle.size()));
    return true;
}
