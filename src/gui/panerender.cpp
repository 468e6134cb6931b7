// SPDX-License-Identifier: MIT
#include "panerender.h"

#include "app/charset.h"

#include <QDateTime>

#include <array>

namespace
{
/// Letters and digits make words; blanks and everything else make runs of their own.
int wordClass(uchar byte)
{
    if (byte == ' ' || byte == '\t')
        return 1;
    const QChar c = Charset::toUnicode(byte);
    return c.isLetterOrNumber() || c == QLatin1Char('_') ? 0 : 2;
}

struct Tables {
    std::array<bool, 256> prints{};
    std::array<uchar, 256> upper{};
    Tables()
    {
        for (int b = 0; b < 256; ++b) {
            prints[size_t(b)] = Charset::toUnicode(uchar(b)).isPrint();
            upper[size_t(b)] = uchar(Charset::toUpper(QByteArray(1, char(b))).at(0));
        }
    }
};

const Tables &tables()
{
    static const Tables t;
    return t;
}
} // namespace

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
            row.append(QString(cells(byte, int(row.size())), QLatin1Char(' ')));
        else
            row.append(Charset::toUnicode(uchar(byte)));
    }
    return row;
}

QString plainText(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char byte = bytes[i];
        if (byte == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue; // the LF that follows makes the break
        text.append(byte == '\r' ? QChar(QLatin1Char('\n')) : Charset::toUnicode(uchar(byte)));
    }
    return text;
}

bool prints(uchar byte)
{
    return tables().prints[byte];
}

void wrap(QByteArrayView line, int columns, std::vector<quint32> &starts)
{
    if (starts.empty())
        starts.push_back(0);
    qsizetype start = starts.back();
    for (;;) {
        int column = 0;
        qsizetype afterBlank = -1;
        qsizetype i = start;
        for (; i < line.size(); ++i) {
            const char byte = line[i];
            if (byte == ' ' || byte == '\t') {
                column += cells(byte, column);
                afterBlank = i + 1;
            } else if (column < columns || i == start) {
                ++column;
            } else {
                break;
            }
        }
        if (i == line.size())
            return;
        start = afterBlank > start ? afterBlank : i;
        starts.push_back(quint32(start));
    }
}

std::pair<qsizetype, qsizetype> wordAround(QByteArrayView line, qsizetype at)
{
    if (line.isEmpty())
        return {0, 0};
    at = qBound<qsizetype>(0, at, line.size() - 1);
    const int kind = wordClass(uchar(line[at]));
    qsizetype first = at, end = at + 1;
    while (first > 0 && wordClass(uchar(line[first - 1])) == kind)
        --first;
    while (end < line.size() && wordClass(uchar(line[end])) == kind)
        ++end;
    return {first, end};
}

qsizetype find(QByteArrayView text, QByteArrayView needle, qsizetype from, bool backward)
{
    const qsizetype n = needle.size();
    const qsizetype places = text.size() - n + 1;
    if (n == 0 || places <= 0)
        return -1;
    const std::array<uchar, 256> &upper = tables().upper;
    const auto matchAt = [&](qsizetype i) {
        for (qsizetype k = 0; k < n; ++k)
            if (upper[uchar(text[i + k])] != upper[uchar(needle[k])])
                return false;
        return true;
    };
    for (qsizetype step = 1; step <= places; ++step) {
        const qsizetype i = ((from + (backward ? -step : step)) % places + places) % places;
        if (matchAt(i))
            return i;
    }
    return -1;
}
} // namespace PaneRender
