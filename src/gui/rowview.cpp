// SPDX-License-Identifier: MIT
#include "rowview.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

RowView::RowView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(1);
}

int RowView::rowHeight() const
{
    return qMax(1, fontMetrics().lineSpacing());
}

int RowView::visibleRows() const
{
    return qMax(1, viewport()->height() / rowHeight());
}

qsizetype RowView::topRow() const
{
    return verticalScrollBar()->value();
}

bool RowView::atEnd() const
{
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void RowView::updateScrollBars()
{
    QScrollBar *v = verticalScrollBar();
    v->setPageStep(visibleRows());
    v->setRange(0, int(qMax<qsizetype>(0, rowCount() - visibleRows())));
    QScrollBar *h = horizontalScrollBar();
    h->setPageStep(viewport()->width());
    h->setSingleStep(qMax(1, fontMetrics().horizontalAdvance(QLatin1Char('0'))));
    h->setRange(0, qMax(0, rowWidth() + 8 - viewport()->width()));
}

void RowView::rowsAppended()
{
    const bool follow = atEnd();
    updateScrollBars();
    if (follow)
        scrollToEnd();
    viewport()->update();
}

void RowView::rowsRemovedAtStart(qsizetype count)
{
    const bool follow = atEnd();
    const auto shift = [count](qsizetype row) { return row < 0 ? row : qMax<qsizetype>(0, row - count); };
    m_anchor = shift(m_anchor);
    m_cursor = shift(m_cursor);
    const int top = int(shift(topRow()));
    updateScrollBars();
    verticalScrollBar()->setValue(follow ? verticalScrollBar()->maximum() : top);
    viewport()->update();
}

void RowView::rowsReset()
{
    m_anchor = m_cursor = -1;
    updateScrollBars();
    viewport()->update();
}

void RowView::scrollToEnd()
{
    updateScrollBars();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void RowView::showRow(qsizetype row)
{
    updateScrollBars();
    if (row < topRow() || row >= topRow() + visibleRows())
        verticalScrollBar()->setValue(int(row - visibleRows() / 2));
}

void RowView::setCurrentRow(qsizetype row)
{
    m_anchor = m_cursor = row < rowCount() ? row : -1;
    viewport()->update();
    currentRowChanged();
}

void RowView::selectAll()
{
    if (rowCount() == 0)
        return;
    m_anchor = 0;
    m_cursor = rowCount() - 1;
    viewport()->update();
}

std::pair<qsizetype, qsizetype> RowView::selection() const
{
    if (m_anchor < 0 || m_cursor < 0)
        return {-1, -1};
    return {qMin(m_anchor, m_cursor), qMax(m_anchor, m_cursor)};
}

QString RowView::selectedText() const
{
    const auto [first, last] = selection();
    QStringList rows;
    for (qsizetype row = first; row >= 0 && row <= last; ++row)
        rows << rowText(row);
    return rows.join(QLatin1Char('\n'));
}

qsizetype RowView::rowAt(int y) const
{
    return qMin(topRow() + qMax(0, y) / rowHeight(), rowCount() - 1);
}

void RowView::moveTo(qsizetype row, bool extend)
{
    if (rowCount() == 0)
        return;
    m_cursor = qBound<qsizetype>(0, row, rowCount() - 1);
    if (!extend || m_anchor < 0)
        m_anchor = m_cursor;
    showRow(m_cursor);
    viewport()->update();
    currentRowChanged();
}

void RowView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const int height = rowHeight();
    const auto [first, last] = selection();
    const qsizetype top = topRow();
    for (qsizetype row = top; row < rowCount() && (row - top) * height < viewport()->height(); ++row) {
        const QRect line(4 - horizontalScrollBar()->value(), int(row - top) * height, rowWidth(), height);
        const bool selected = row >= first && row <= last && first >= 0;
        if (selected)
            p.fillRect(QRect(0, line.y(), viewport()->width(), height), palette().highlight());
        p.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        paintRow(p, row, line, selected);
    }
}

void RowView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void RowView::mousePressEvent(QMouseEvent *event)
{
    if (rowCount() == 0 || event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    moveTo(rowAt(event->position().toPoint().y()), event->modifiers() & Qt::ShiftModifier);
}

void RowView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_anchor < 0 || !(event->buttons() & Qt::LeftButton))
        return QAbstractScrollArea::mouseMoveEvent(event);
    // Dragging past the edge scrolls on.
    const int y = event->position().toPoint().y();
    if (y < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (y > viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    moveTo(rowAt(qMin(y, viewport()->height() - 1)), true);
}

void RowView::keyPressEvent(QKeyEvent *event)
{
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const qsizetype page = visibleRows();
    switch (event->key()) {
    case Qt::Key_Up:
        return moveTo(m_cursor - 1, extend);
    case Qt::Key_Down:
        return moveTo(m_cursor + 1, extend);
    case Qt::Key_PageUp:
        return moveTo(m_cursor - page, extend);
    case Qt::Key_PageDown:
        return moveTo(m_cursor + page, extend);
    case Qt::Key_Home:
        return moveTo(0, extend);
    case Qt::Key_End:
        return moveTo(rowCount() - 1, extend);
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}
