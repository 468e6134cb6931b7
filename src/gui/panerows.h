// SPDX-License-Identifier: MIT
#pragma once

#include "app/element.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <vector>

/// How the pane's rows read in its hex and time-stamp views: pure functions over the model's bytes.
namespace PaneRender
{
/// The most bytes a hex row holds; a narrow pane shows 8, 4, 2 or 1.
constexpr int kHexBytes = 16;
/// "10:00:01.234 ": the local clock time of `ms` (milliseconds since 1970, UTC) and a blank; "10:00:01.234>" for a
/// line the terminal sent.
QString stamp(qint64 ms, bool sent = false);
/// As many blanks as a stamp takes: a line on which no chunk began.
QString noStamp();
/// One row of the hex view: the offset of its first byte, up to `perRow` bytes in hex (a gap after the eighth of
/// 16), and the same bytes as characters, '.' for those that print nothing. "OK\r\n" at 0x20 reads
/// "00000020  4F 4B 0D 0A", 39 blanks and "OK.." in a row of 16; 14 blanks in a row of 8.
QString hexRow(QByteArrayView bytes, qsizetype offset, int perRow = kHexBytes);
/// The columns at which byte `k` of a hex row of `perRow` bytes shows, in hex and as a character.
int hexColumn(int k);
int charColumn(int k, int perRow = kHexBytes);
/// The characters a hex row of `perRow` bytes takes.
int hexWidth(int perRow);
/// One line as the text view shows it (its line break left out): Windows-1251 characters, tabs as blanks up to
/// the next multiple of eight columns.
QString textRow(QByteArrayView line);
} // namespace PaneRender

/// The pane's hex and time-stamp views: rows painted from the model's bytes, only those on screen, as hex editors
/// do. Nothing is copied: an 8 MB pane costs its bytes once, in the model, plus a table of line starts while
/// lines are shown with their times.
class PaneRows : public QAbstractScrollArea
{
public:
    explicit PaneRows(const TextBox &box, QWidget *parent = nullptr);

    /// Hex rows of 16 bytes, or the text's lines; either with the time each chunk came at the start of its row.
    void setView(bool hex, bool stamps);
    bool hex() const { return m_hex; }
    bool stamps() const { return m_stamps; }
    /// Bytes a hex row holds: 16, or fewer when the rows would be wider than the pane.
    int perRow() const { return m_perRow; }

    qsizetype rowCount() const;
    /// The row as it is painted.
    QString rowText(qsizetype row) const;

    /// The model replaced the whole text.
    void textReplaced();
    /// The model dropped `removed` bytes at the start of the text, up to a line start.
    void trimmed(qsizetype removed);
    /// Takes in what the model appended since the last time; follows the end when it was in view.
    void takeAppends();
    void scrollToEnd();
    /// Forgets the table of line starts while the view is not shown.
    void release();

    /// The first row in view, and the row that the text view's line `line` starts in, and back: switching views
    /// keeps the same text in view.
    qsizetype topRow() const;
    void showRow(qsizetype row);
    qsizetype rowOfLine(qsizetype line) const;
    qsizetype lineOfRow(qsizetype row) const;

    void selectAll();
    bool hasSelection() const { return m_anchor >= 0; }
    /// The selected rows as they read, one line each.
    QString selectedText() const;
    /// Finds `needle` (8-bit, any case) after the last match, or before it when `backward`, going round at the
    /// end; selects and shows it. False when the text holds it nowhere.
    bool find(const QByteArray &needle, bool backward);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    /// Extends the table of line starts over the bytes not yet read.
    void indexLines();
    /// The row that holds byte `offset`.
    qsizetype rowOf(qsizetype offset) const;
    /// The bytes of a row: [first, end), its line break left out of a text row.
    std::pair<qsizetype, qsizetype> rowBytes(qsizetype row) const;
    /// The arrival shown at the start of the row, if a chunk began in it.
    const TextBox::Arrival *rowStamp(qsizetype row) const;
    /// Fits the hex rows to the pane's width, keeping the same bytes in view.
    void fitRows();
    int visibleRows() const;
    int rowHeight() const;
    qsizetype rowAt(int y) const;
    void updateScrollBars();

    const TextBox &m_box;
    bool m_hex = false;
    bool m_stamps = false;
    int m_perRow = PaneRender::kHexBytes;
    std::vector<qsizetype> m_lines; // the start of each line of the text; filled only while lines are shown
    qsizetype m_indexed = 0;        // bytes of the text read into m_lines
    qsizetype m_widest = 0;         // the longest row in characters
    qsizetype m_anchor = -1;        // the selected rows, from m_anchor to m_cursor; -1 when none
    qsizetype m_cursor = -1;
    qsizetype m_match = -1; // the found bytes, [m_match, m_match + m_matchLength)
    qsizetype m_matchLength = 0;
    std::array<uchar, 256> m_fold{}; // each byte as an upper-case letter, for finding in any case
};
