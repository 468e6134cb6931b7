// SPDX-License-Identifier: MIT
#pragma once

#include "lineindex.h"
#include "panerender.h"
#include "rowview.h"

#include "app/element.h"

#include <QByteArray>

/// The pane's hex and time-stamp views: rows painted from the model's bytes, only those on screen, as hex editors
/// do. Nothing is copied: the time-stamp view reads the pane's lines from the index the text view keeps.
class PaneRows : public RowView
{
public:
    PaneRows(const TextBox &box, const LineIndex &lines, QWidget *parent = nullptr);

    /// Hex rows of 16 bytes, or the text's lines; either with the time each chunk came at the start of its row.
    void setView(bool hex, bool stamps);
    bool hex() const { return m_hex; }
    bool stamps() const { return m_stamps; }
    /// Bytes a hex row holds: 16, or fewer when the rows would be wider than the pane.
    int perRow() const { return m_perRow; }

    qsizetype rowCount() const override;
    void paintRow(QPainter &painter, qsizetype row, const QRect &rect, bool selected) const override;
    int rowWidth() const override;
    /// The row as it is painted.
    QString rowText(qsizetype row) const override;

    /// The model replaced the whole text.
    void textReplaced();
    /// The model dropped `removed` bytes at the start of the text; the index dropped `cut`.
    void trimmed(qsizetype removed, LineIndex::Cut cut);

    /// The row that the text view's line `line` starts in, and back: switching views keeps the same text in view.
    qsizetype rowOfLine(qsizetype line) const;
    qsizetype lineOfRow(qsizetype row) const;

    /// Finds `needle` (8-bit, any case) after the last match, or before it when `backward`, going round at the
    /// end; marks and shows it. False when the text holds it nowhere.
    bool find(const QByteArray &needle, bool backward);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    /// The bytes of a row: [first, end), its line break left out of a text row.
    std::pair<qsizetype, qsizetype> rowBytes(qsizetype row) const;
    /// The arrival shown at the start of the row, if a chunk began in it.
    const TextBox::Arrival *rowStamp(qsizetype row) const;
    /// Fits the hex rows to the pane's width, keeping the same bytes in view.
    void fitRows();
    qreal charWidth() const;

    const TextBox &m_box;
    const LineIndex &m_lines;
    bool m_hex = false;
    bool m_stamps = false;
    int m_perRow = PaneRender::kHexBytes;
    qsizetype m_match = -1; // the found bytes, [m_match, m_match + m_matchLength)
    qsizetype m_matchLength = 0;
};
