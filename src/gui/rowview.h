// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QString>

#include <utility>

/// A view of many rows of one height that paints only the rows on screen, as Qt's item views with uniform row
/// heights do: a subclass says how many rows there are, how wide the widest is and how one is painted, from its
/// model's data, with no copy of its own. A row may wrap into several lines of the screen: the scroll bar counts
/// rows and the view scrolls by screen lines, so that only the rows near the view are ever wrapped. The view follows
/// the newest row while the user has not scrolled up from it. The mouse selects whole rows, or the characters of a
/// view that selects characters (a double-click a word, a triple-click a row); the keys move a current row, or
/// scroll the view.
class RowView : public QAbstractScrollArea
{
public:
    /// A place between two characters of a row, `column` characters into it; `row` -1: nowhere.
    struct Place {
        qsizetype row = -1;
        qsizetype column = 0;
        auto operator<=>(const Place &) const = default;
    };
    enum class Selects { Rows, Characters };
    enum class Keys { MoveCurrentRow, Scroll };

    explicit RowView(QWidget *parent = nullptr, Selects selects = Selects::Rows, Keys keys = Keys::MoveCurrentRow);

    virtual qsizetype rowCount() const = 0;
    /// Paints the row into `rect`, which starts where the text starts, scrolled, and is as high as the row's screen
    /// lines (the first of them may lie above the view).
    virtual void paintRow(QPainter &painter, qsizetype row, const QRect &rect, bool selected) const = 0;
    /// The widest row in pixels.
    virtual int rowWidth() const = 0;
    /// The row as text, for Copy.
    virtual QString rowText(qsizetype row) const = 0;
    /// The screen lines a row takes: 1, unless the view wraps long rows at its width.
    virtual qsizetype wrapCount(qsizetype) const { return 1; }

    /// The number of rows changed at their end, or the last row grew: the newest row stays in view if it was.
    void rowsAppended();
    /// The first `count` rows went, and `columns` characters of the row that is now the first: what is in view
    /// stays in view while it is kept; once it is cut, the view keeps its place from the top.
    void rowsRemovedAtStart(qsizetype count, qsizetype columns = 0);
    /// Every row may have changed: the view goes to the first, with nothing selected.
    void rowsReset();

    int rowHeight() const;
    qsizetype topRow() const { return m_top.row; }
    /// The last screen line is in view.
    bool atEnd() const { return m_top == m_end; }
    void scrollToEnd();
    /// Scrolls `row` into view, to the middle when it was out of view.
    void showRow(qsizetype row);
    /// Scrolls the view so that `row` is its first.
    void setTopRow(qsizetype row);

    /// The row the keys move from; -1 when none.
    qsizetype currentRow() const { return m_cursor.row; }
    /// Makes `row` current and the only one selected (-1: none).
    void setCurrentRow(qsizetype row);
    void selectAll();
    /// Selects from one place to the other and scrolls the second into view.
    void select(Place anchor, Place cursor);
    bool hasSelection() const;
    /// The selected rows, first and last; -1, -1 when none.
    std::pair<qsizetype, qsizetype> selection() const;
    /// The selected places, the first one first.
    std::pair<Place, Place> selectedPlaces() const { return std::minmax(m_anchor, m_cursor); }
    /// The selected text: the rows, a line each, or the characters of a view that selects characters.
    QString selectedText() const;
    /// The place under a point of the view.
    Place placeAt(QPoint pos) const;

protected:
    /// The current row changed.
    virtual void currentRowChanged() {}
    /// For a view that selects characters: the column at `x` (from where the text starts) of the row's screen line
    /// `wrap`; the screen line that holds a column; the characters of a row (a triple-click takes them with the
    /// break); the word around a column (a double-click takes it); and the text between two places.
    virtual qsizetype columnAt(qsizetype, qsizetype, int) const { return 0; }
    virtual qsizetype wrapOf(qsizetype, qsizetype) const { return 0; }
    virtual qsizetype rowLength(qsizetype) const { return 0; }
    virtual std::pair<qsizetype, qsizetype> wordAt(qsizetype, qsizetype column) const { return {column, column}; }
    virtual QString textBetween(Place from, Place to) const;

    /// The rows wrap anew (the view's width changed): the first row in view stays first.
    void wrapsChanged();
    /// Blank pixels above the first row, as a text document has them.
    void setTopMargin(int pixels) { m_topMargin = pixels; }
    /// Where the text starts in the view, scrolled.
    int textLeft() const;
    /// Where the row's screen line `wrap` shows in the view; -1 when it is out of view.
    int lineY(qsizetype row, qsizetype wrap) const;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void updateScrollBars();

private:
    /// One line of the screen: a row, and which of its wrapped lines.
    struct ScreenLine {
        qsizetype row = 0;
        qsizetype wrap = 0;
        auto operator<=>(const ScreenLine &) const = default;
    };
    int visibleLines() const;
    /// `lines` screen lines on from `from` (back when negative), stopping at the first and the last.
    ScreenLine advance(ScreenLine from, qsizetype lines) const;
    ScreenLine lastLine() const;
    void setTop(ScreenLine top);
    /// The scroll bar moved: a row at the top, or the end at its end.
    void scrolledTo(int value);
    /// Moves the current row or place, extending the selection when `extend`.
    void moveTo(Place place, bool extend);
    void scrollKey(QKeyEvent *event);

    const Selects m_selects;
    const Keys m_keys;
    ScreenLine m_top;
    ScreenLine m_end; // the top at the end: the last screen line at the bottom of the view
    bool m_syncing = false;
    int m_topMargin = 0;
    Place m_anchor; // the selection runs from m_anchor to m_cursor
    Place m_cursor;
    QElapsedTimer m_doubleClick; // a press soon after a double-click, where it was, is a triple-click
    QPoint m_doubleClickAt;
    int m_wheel = 0; // wheel turns not yet a whole step
};
