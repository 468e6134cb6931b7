// SPDX-License-Identifier: MIT
#include "rowview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringList>

namespace
{
/// Where the text starts in the view, before it is scrolled sideways.
constexpr int kMargin = 4;
} // namespace

RowView::RowView(QWidget *parent, Selects selects, Keys keys)
    : QAbstractScrollArea(parent), m_selects(selects), m_keys(keys)
{
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_syncing)
            scrolledTo(value);
    });
}

int RowView::rowHeight() const
{
    return qMax(1, fontMetrics().lineSpacing());
}

int RowView::visibleLines() const
{
    return qMax(1, (viewport()->height() - m_topMargin) / rowHeight());
}

int RowView::textLeft() const
{
    return kMargin - horizontalScrollBar()->value();
}

int RowView::lineY(qsizetype row, qsizetype wrap) const
{
    if (ScreenLine{row, wrap} < m_top)
        return -1;
    qsizetype lines = wrap - m_top.wrap;
    for (qsizetype r = m_top.row; r < row && lines < visibleLines(); ++r)
        lines += wrapCount(r);
    return lines < visibleLines() ? m_topMargin + int(lines) * rowHeight() : -1;
}

RowView::ScreenLine RowView::lastLine() const
{
    const qsizetype rows = rowCount();
    return rows == 0 ? ScreenLine{} : ScreenLine{rows - 1, wrapCount(rows - 1) - 1};
}

RowView::ScreenLine RowView::advance(ScreenLine at, qsizetype lines) const
{
    const qsizetype rows = rowCount();
    if (rows == 0)
        return {};
    for (; lines > 0; ++at.row, at.wrap = 0) {
        const qsizetype below = wrapCount(at.row) - 1 - at.wrap; // the row's screen lines after this one
        if (lines <= below || at.row + 1 == rows) {
            at.wrap += qMin(lines, below);
            return at;
        }
        lines -= below + 1;
    }
    for (; lines < 0; at.wrap = wrapCount(--at.row) - 1) {
        if (-lines <= at.wrap || at.row == 0) {
            at.wrap = qMax<qsizetype>(0, at.wrap + lines);
            return at;
        }
        lines += at.wrap + 1;
    }
    return at;
}

void RowView::updateScrollBars()
{
    m_end = advance(lastLine(), 1 - visibleLines());
    m_top = qMin(m_top, m_end);
    // A top inside the end row's wrapped lines shows that row; the bar's end stands for the end itself.
    const int max = int(m_end.row + (m_end.wrap > 0 ? 1 : 0));
    QScrollBar *v = verticalScrollBar();
    m_syncing = true;
    v->setPageStep(visibleLines());
    v->setRange(0, max);
    v->setValue(m_top == m_end ? max : int(m_top.row));
    m_syncing = false;
    QScrollBar *h = horizontalScrollBar();
    h->setPageStep(viewport()->width());
    h->setSingleStep(qMax(1, fontMetrics().horizontalAdvance(QLatin1Char('0'))));
    h->setRange(0, qMax(0, rowWidth() + 2 * kMargin - viewport()->width()));
}

void RowView::setTop(ScreenLine top)
{
    m_top = top;
    updateScrollBars();
    viewport()->update();
}

void RowView::scrolledTo(int value)
{
    m_top = value >= verticalScrollBar()->maximum() ? m_end : ScreenLine{value, 0};
    viewport()->update();
}

void RowView::rowsAppended()
{
    const bool follow = atEnd();
    updateScrollBars();
    if (follow)
        scrollToEnd();
    viewport()->update();
}

void RowView::rowsRemovedAtStart(qsizetype count, qsizetype columns)
{
    const bool follow = atEnd();
    const auto shift = [count, columns](Place place) {
        if (place.row < 0)
            return place;
        if (place.row < count)
            return Place{0, 0};
        place.row -= count;
        if (place.row == 0)
            place.column = qMax<qsizetype>(0, place.column - columns);
        return place;
    };
    m_anchor = shift(m_anchor);
    m_cursor = shift(m_cursor);
    if (m_top.row >= count)
        m_top.row -= count;
    if (m_top.row == 0 && columns > 0)
        m_top.wrap = 0;
    setTop(m_top);
    if (follow)
        scrollToEnd();
}

void RowView::rowsReset()
{
    m_anchor = m_cursor = {};
    setTop({});
}

void RowView::wrapsChanged()
{
    const bool follow = atEnd();
    m_top.wrap = 0;
    setTop(m_top);
    if (follow)
        scrollToEnd();
}

void RowView::scrollToEnd()
{
    updateScrollBars();
    setTop(m_end);
}

void RowView::setTopRow(qsizetype row)
{
    setTop({qBound<qsizetype>(0, row, qMax<qsizetype>(0, rowCount() - 1)), 0});
}

void RowView::showRow(qsizetype row)
{
    updateScrollBars();
    const qsizetype wrap = m_cursor.row == row ? wrapOf(row, m_cursor.column) : 0;
    const ScreenLine line{row, wrap};
    if (line < m_top || advance(m_top, visibleLines() - 1) < line)
        setTop(advance(line, -visibleLines() / 2));
}

void RowView::setCurrentRow(qsizetype row)
{
    m_anchor = m_cursor = row < rowCount() ? Place{row, 0} : Place{};
    viewport()->update();
    currentRowChanged();
}

void RowView::selectAll()
{
    if (rowCount() == 0)
        return;
    m_anchor = {0, 0};
    m_cursor = {rowCount() - 1, rowLength(rowCount() - 1)};
    viewport()->update();
}

void RowView::select(Place anchor, Place cursor)
{
    m_anchor = anchor;
    m_cursor = cursor;
    showRow(cursor.row);
    viewport()->update();
}

bool RowView::hasSelection() const
{
    return m_anchor.row >= 0 && (m_selects == Selects::Rows || m_anchor != m_cursor);
}

std::pair<qsizetype, qsizetype> RowView::selection() const
{
    if (!hasSelection())
        return {-1, -1};
    const auto [first, last] = selectedPlaces();
    return {first.row, last.row};
}

QString RowView::selectedText() const
{
    if (!hasSelection())
        return {};
    const auto [first, last] = selectedPlaces();
    return textBetween(first, last);
}

QString RowView::textBetween(Place from, Place to) const
{
    QStringList rows;
    for (qsizetype row = from.row; row <= to.row; ++row)
        rows << rowText(row);
    return rows.join(QLatin1Char('\n'));
}

RowView::Place RowView::placeAt(QPoint pos) const
{
    const ScreenLine line = advance(m_top, qMax(0, pos.y() - m_topMargin) / rowHeight());
    return {line.row, columnAt(line.row, line.wrap, pos.x() - textLeft())};
}

void RowView::moveTo(Place place, bool extend)
{
    if (rowCount() == 0)
        return;
    m_cursor = {qBound<qsizetype>(0, place.row, rowCount() - 1), place.column};
    if (!extend || m_anchor.row < 0)
        m_anchor = m_cursor;
    showRow(m_cursor.row);
    viewport()->update();
    currentRowChanged();
}

void RowView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const int height = rowHeight();
    const auto [first, last] = m_selects == Selects::Rows ? selection() : std::pair<qsizetype, qsizetype>{-1, -1};
    qsizetype y = m_topMargin - m_top.wrap * height;
    for (qsizetype row = m_top.row; row < rowCount() && y < viewport()->height(); ++row) {
        const int lines = int(wrapCount(row));
        const QRect rect(textLeft(), int(y), rowWidth(), lines * height);
        const bool selected = row >= first && row <= last && first >= 0;
        if (selected)
            p.fillRect(QRect(0, rect.y(), viewport()->width(), rect.height()), palette().highlight());
        p.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        paintRow(p, row, rect, selected);
        y += qsizetype(lines) * height;
    }
}

void RowView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    const bool follow = atEnd();
    updateScrollBars();
    if (follow)
        scrollToEnd();
}

void RowView::mousePressEvent(QMouseEvent *event)
{
    if (rowCount() == 0 || event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    const QPoint pos = event->position().toPoint();
    const Place place = placeAt(pos);
    const bool triple = m_doubleClick.isValid() && !m_doubleClick.hasExpired(QApplication::doubleClickInterval()) &&
                        (pos - m_doubleClickAt).manhattanLength() < QApplication::startDragDistance();
    m_doubleClick.invalidate();
    if (triple && m_selects == Selects::Characters) {
        // The row with its line break, as a text editor's triple-click takes it.
        const bool last = place.row + 1 == rowCount();
        return select({place.row, 0}, last ? Place{place.row, rowLength(place.row)} : Place{place.row + 1, 0});
    }
    moveTo(place, event->modifiers() & Qt::ShiftModifier);
}

void RowView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_selects == Selects::Rows || rowCount() == 0 || event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mouseDoubleClickEvent(event);
    m_doubleClickAt = event->position().toPoint();
    const Place place = placeAt(m_doubleClickAt);
    const auto [first, end] = wordAt(place.row, place.column);
    select({place.row, first}, {place.row, end});
    m_doubleClick.start();
}

void RowView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_anchor.row < 0 || !(event->buttons() & Qt::LeftButton))
        return QAbstractScrollArea::mouseMoveEvent(event);
    // Dragging past the edge scrolls on.
    const QPoint pos = event->position().toPoint();
    if (pos.y() < 0)
        setTop(advance(m_top, -1));
    else if (pos.y() > viewport()->height())
        setTop(advance(m_top, 1));
    moveTo(placeAt({pos.x(), qBound(0, pos.y(), viewport()->height() - 1)}), true);
}

void RowView::wheelEvent(QWheelEvent *event)
{
    if (event->angleDelta().y() == 0 || event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))
        return QAbstractScrollArea::wheelEvent(event);
    // Screen lines, not rows: a long wrapped row scrolls through as the others do.
    m_wheel += event->angleDelta().y();
    const int steps = m_wheel / QWheelEvent::DefaultDeltasPerStep;
    m_wheel -= steps * QWheelEvent::DefaultDeltasPerStep;
    setTop(advance(m_top, -qsizetype(steps) * QApplication::wheelScrollLines()));
    event->accept();
}

void RowView::scrollKey(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        return setTop(advance(m_top, -1));
    case Qt::Key_Down:
        return setTop(advance(m_top, 1));
    case Qt::Key_PageUp:
        return setTop(advance(m_top, -visibleLines()));
    case Qt::Key_PageDown:
        return setTop(advance(m_top, visibleLines()));
    case Qt::Key_Home:
        return setTop({});
    case Qt::Key_End:
        return scrollToEnd();
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void RowView::keyPressEvent(QKeyEvent *event)
{
    if (m_keys == Keys::Scroll)
        return scrollKey(event);
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const qsizetype page = visibleLines();
    const qsizetype row = m_cursor.row;
    switch (event->key()) {
    case Qt::Key_Up:
        return moveTo({row - 1, 0}, extend);
    case Qt::Key_Down:
        return moveTo({row + 1, 0}, extend);
    case Qt::Key_PageUp:
        return moveTo({row - page, 0}, extend);
    case Qt::Key_PageDown:
        return moveTo({row + page, 0}, extend);
    case Qt::Key_Home:
        return moveTo({0, 0}, extend);
    case Qt::Key_End:
        return moveTo({rowCount() - 1, 0}, extend);
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}
