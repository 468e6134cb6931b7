// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <utility>

/// A view of many rows of one height that paints only the rows on screen, as Qt's item views with uniform row
/// heights do: a subclass says how many rows there are, how wide the widest is and how one is painted, from its
/// model's data, with no copy of its own. The view follows the newest row while the user has not scrolled up from
/// it, and selects rows with the mouse (Shift extends) and the keys.
class RowView : public QAbstractScrollArea
{
public:
    explicit RowView(QWidget *parent = nullptr);

    virtual qsizetype rowCount() const = 0;
    /// Paints the row into `rect`, which starts where the text starts, scrolled.
    virtual void paintRow(QPainter &painter, qsizetype row, const QRect &rect, bool selected) const = 0;
    /// The widest row in pixels.
    virtual int rowWidth() const = 0;
    /// The row as text, for Copy.
    virtual QString rowText(qsizetype row) const = 0;

    /// The number of rows changed at their end: the newest row stays in view if it was.
    void rowsAppended();
    /// The first `count` rows went: the rows in view stay in view.
    void rowsRemovedAtStart(qsizetype count);
    /// Every row may have changed.
    void rowsReset();

    int rowHeight() const;
    qsizetype topRow() const;
    bool atEnd() const;
    void scrollToEnd();
    /// Scrolls `row` into view, to the middle when it was out of view.
    void showRow(qsizetype row);

    /// The row the keys move from; -1 when none.
    qsizetype currentRow() const { return m_cursor; }
    /// Makes `row` current and the only one selected (-1: none).
    void setCurrentRow(qsizetype row);
    void selectAll();
    /// The selected rows, first and last; -1, -1 when none.
    std::pair<qsizetype, qsizetype> selection() const;
    /// The selected rows as text, a line each.
    QString selectedText() const;

protected:
    /// The current row changed.
    virtual void currentRowChanged() {}
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void updateScrollBars();

private:
    int visibleRows() const;
    qsizetype rowAt(int y) const;
    /// Moves the current row, extending the selection when `extend`.
    void moveTo(qsizetype row, bool extend);

    qsizetype m_anchor = -1; // the selection runs from m_anchor to m_cursor
    qsizetype m_cursor = -1;
};
