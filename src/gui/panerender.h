// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QString>

#include <utility>
#include <vector>

/// How the receive pane's bytes read in its views: pure functions over the model's bytes.
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
/// One line as the time-stamp view shows it (its line break left out): Windows-1251 characters, tabs as blanks up
/// to the next multiple of eight columns.
QString textRow(QByteArrayView line);
/// Text as Copy gives it: Windows-1251 characters, CR LF, a lone CR and a lone LF each one "\n".
QString plainText(QByteArrayView bytes);

/// The byte shows as a glyph of the font; the others (control characters, the soft hyphen) take a blank cell.
bool prints(uchar byte);
/// The columns a character takes at `column` of a screen line: a tab goes on to the next multiple of eight.
inline int cells(char byte, int column)
{
    return byte == '\t' ? 8 - column % 8 : 1;
}
/// Wraps a line (its break left out) at `columns` characters a screen line: appends to `starts` where each screen
/// line after the last one in it begins (the first begins at 0), so that a line that grew goes on from there. A
/// screen line breaks after the last blank that fits, or anywhere in a word longer than a screen line; the blanks at
/// a break stay at the end of the line above, as an editor's word wrap has them. "one two three" at 8 columns:
/// 0 ("one two "), 8 ("three").
void wrap(QByteArrayView line, int columns, std::vector<quint32> &starts);
/// The word around byte `at` of a line (letters and digits), or the run of blanks or of other characters there, as
/// a double-click takes it: its first byte and the one after it.
std::pair<qsizetype, qsizetype> wordAround(QByteArrayView line, qsizetype at);
/// Where `needle` is found in `text`, in any case (Cyrillic too): the first place after `from`, or before it when
/// `backward`, going round at the end; -1 when it is nowhere.
qsizetype find(QByteArrayView text, QByteArrayView needle, qsizetype from, bool backward);
} // namespace PaneRender
