// SPDX-License-Identifier: MIT
#pragma once

#include "lineindex.h"
#include "rowview.h"

#include <QByteArray>

#include <unordered_map>
#include <vector>

class TextBox;

/// The pane's text view: its lines of Windows-1251 characters, wrapped at the view's width, painted from the model's
/// bytes as they are scrolled into view, as the hex and time-stamp views are. Nothing of the text is copied: the
/// model keeps the bytes, the index where the lines start, and this view only where the long lines it has shown
/// wrap at its width. So an append costs the appended bytes, a cut the lines it took, and a new width only the lines
/// shown next, however much the pane holds. The characters take a column each of the monospaced font; a tab goes on
/// to the next multiple of eight columns of its screen line.
class PaneText : public RowView
{
    Q_OBJECT
    /// The text as the view shows it, its line breaks as "\n", and that the user cannot change it: what assistive
    /// tools and the tests read of a text pane.
    Q_PROPERTY(QString plainText READ toPlainText)
    Q_PROPERTY(bool readOnly READ isReadOnly CONSTANT)

public:
    PaneText(const TextBox &box, const LineIndex &lines, QWidget *parent = nullptr);

    QString toPlainText() const;
    bool isReadOnly() const { return true; }
    const TextBox &box() const { return m_box; }
    const LineIndex &lines() const { return m_lines; }

    /// The index read what the model appended.
    void takeAppends(qsizetype readBefore);
    /// The model replaced the whole text.
    void textReplaced();
    /// The model dropped `removed`, the oldest bytes; the index dropped `cut`.
    void trimmed(const QByteArray &removed, LineIndex::Cut cut);
    /// Finds `needle` (8-bit, any case) after the selection's start, or before it when `backward`, going round at the
    /// end; selects and shows it. False when the text holds it nowhere.
    bool find(const QByteArray &needle, bool backward);

    /// The columns of a screen line at the view's width.
    int columns() const { return m_columns; }
    /// Places as offsets into the text, and back.
    qsizetype offsetOf(Place place) const;
    Place placeOf(qsizetype offset) const;
    /// Where the character at `place` shows in the view; empty when it is out of view.
    QRect characterRect(Place place) const;

    qsizetype rowCount() const override { return m_lines.count(); }
    qsizetype wrapCount(qsizetype row) const override;
    void paintRow(QPainter &painter, qsizetype row, const QRect &rect, bool selected) const override;
    /// The rows wrap: never wider than the view.
    int rowWidth() const override { return 0; }
    QString rowText(qsizetype row) const override;

protected:
    qsizetype columnAt(qsizetype row, qsizetype wrap, int x) const override;
    qsizetype wrapOf(qsizetype row, qsizetype column) const override;
    qsizetype rowLength(qsizetype row) const override;
    std::pair<qsizetype, qsizetype> wordAt(qsizetype row, qsizetype column) const override;
    QString textBetween(Place from, Place to) const override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    /// The characters of a line, its break left out.
    QByteArrayView lineBytes(qsizetype row) const;
    /// Where each screen line of a row starts, from the row's start; nullptr for a row that fits one.
    const std::vector<quint32> *wraps(qsizetype row) const;
    /// The characters of screen line `wrap` of a row: [first, end) from the row's start.
    std::pair<qsizetype, qsizetype> wrapBytes(qsizetype row, qsizetype wrap) const;
    /// Takes the view's width and font: true when the screen lines hold another number of columns.
    bool fitColumns();

    struct Wraps {
        std::vector<quint32> starts;
        qsizetype scanned = 0; // the line's characters wrapped so far: the last line grows
    };
    /// The long lines wrapped at the view's width, by their index ids; forgotten when the width changes, and all at
    /// once when so many were kept that most have gone out of view.
    static constexpr size_t kWrapsKept = 4096;

    const TextBox &m_box;
    const LineIndex &m_lines;
    mutable std::unordered_map<quint32, Wraps> m_wraps;
    int m_columns = 1;
    qreal m_charWidth = 1;
};
