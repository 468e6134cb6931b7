// SPDX-License-Identifier: MIT
#include "monitorwindow.h"

#include "panerender.h"

#include "app/charset.h"
#include "monitor/decode.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>
#include <iterator>

namespace
{
struct Column {
    const char16_t *title;
    int chars; // its width, a blank after it included
};

constexpr Column kColumns[] = {
    {u"#", 7},   {u"time", 16}, {u"\u0394 ms", 9}, {u"", 2},        {u"link", 17},
    {u"len", 6}, {u"hex", 26},  {u"text", 26},     {u"decode", 50}, {u"reply", 16},
};
constexpr int kDirectionColumn = 3, kDecodeColumn = 8;
/// The hex and text columns show the start of a unit; the details below the rows show all of it.
constexpr qsizetype kHexBytes = 8, kTextBytes = 24;
/// The details show this many rows of 16 bytes at most.
constexpr qsizetype kDetailRows = 256;
const QColor kSentColour(0, 90, 200), kReceivedColour(0, 140, 60), kBadColour(200, 0, 0);

QString milliseconds(qint64 us)
{
    return QString::number(us / 1000.0, 'f', 3);
}

/// "10:00:01.234567", local time.
QString timeOfDay(qint64 us)
{
    return QDateTime::fromMSecsSinceEpoch(us / 1000).toString(QStringLiteral("hh:mm:ss.zzz")) +
           QStringLiteral("%1").arg(us % 1000, 3, 10, QLatin1Char('0'));
}

QFont fixedFont()
{
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

/// The columns' titles above the rows, scrolled with them.
class Titles : public QWidget
{
public:
    explicit Titles(const MonitorRows &rows, QWidget *parent) : QWidget(parent), m_rows(rows)
    {
        setFont(fixedFont());
        setFixedHeight(fontMetrics().lineSpacing() + 2);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setPen(palette().color(QPalette::PlaceholderText));
        const int x = m_rows.viewport()->mapTo(parentWidget(), QPoint()).x() - this->x();
        m_rows.paintTitles(p, QRect(x + 4 - m_rows.horizontalScrollBar()->value(), 0, m_rows.rowWidth(), height()));
    }

private:
    const MonitorRows &m_rows;
};
} // namespace

MonitorRows::MonitorRows(const Monitor::Record &record, QWidget *parent) : RowView(parent), m_record(record)
{
    setFont(fixedFont());
}

void MonitorRows::setFilter(const Monitor::Filter &filter)
{
    const qint64 current = currentRow() >= 0 ? unitAt(currentRow()) : -1;
    m_filter = filter;
    m_units.clear();
    m_seen = m_record.first();
    refresh();
    rowsReset();
    // The unit the user was at stays chosen while it is shown.
    const auto at = std::lower_bound(m_units.begin(), m_units.end(), current);
    if (current >= 0 && at != m_units.end() && *at == current) {
        setCurrentRow(at - m_units.begin());
        showRow(currentRow());
    } else {
        scrollToEnd();
    }
}

void MonitorRows::refresh()
{
    const auto kept = std::lower_bound(m_units.begin(), m_units.end(), m_record.first());
    const qsizetype gone = kept - m_units.begin();
    if (gone > 0) {
        m_units.erase(m_units.begin(), kept);
        rowsRemovedAtStart(gone);
    }
    const qsizetype before = rowCount();
    for (qint64 n = qMax(m_seen, m_record.first()); n < m_record.end(); ++n)
        if (m_filter.accepts(m_record.at(n)))
            m_units.push_back(n);
    m_seen = m_record.end();
    if (rowCount() != before)
        rowsAppended();
}

std::array<QString, 10> MonitorRows::cells(qsizetype row) const
{
    const qint64 n = unitAt(row);
    // A unit the record let go since the last refresh is drawn empty until the refresh takes its row away.
    if (!m_record.holds(n))
        return {};
    const Monitor::Unit &u = m_record.at(n);
    const bool note = u.direction == Monitor::Direction::Note;
    const char16_t *const arrows[] = {u"\u2192", u"\u2190", u"\u2022"};
    QString hex =
        QString::fromLatin1(u.bytes.first(qMin(kHexBytes, u.bytes.size())).toByteArray().toHex(' ').toUpper());
    if (u.bytes.size() > kHexBytes)
        hex += QStringLiteral(" \u2026");
    return {QString::number(n),
            timeOfDay(u.us),
            row > 0 && m_record.holds(unitAt(row - 1)) ? milliseconds(u.us - m_record.at(unitAt(row - 1)).us)
                                                       : QString(),
            QString::fromUtf16(arrows[int(u.direction)]),
            note ? QString() : QString::fromLatin1(m_record.link(u.link).name),
            note ? QString() : QString::number(u.bytes.size()),
            note ? QString() : hex,
            note ? Charset::decode(u.bytes) : Monitor::visibleText(u.bytes, kTextBytes),
            note ? QString() : Monitor::decode(m_record, n).summary,
            u.replyUs >= 0 ? milliseconds(u.replyUs) + QStringLiteral(" ms #%1").arg(u.request) : QString()};
}

void MonitorRows::paintRow(QPainter &painter, qsizetype row, const QRect &rect, bool selected) const
{
    const std::array<QString, 10> texts = cells(row);
    const Monitor::Unit u = m_record.holds(unitAt(row)) ? m_record.at(unitAt(row)) : Monitor::Unit();
    const qreal charWidth = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
    const QPen plain = painter.pen();
    qreal x = rect.x();
    for (size_t c = 0; c < std::size(kColumns); ++c) {
        QPen pen = plain;
        if (!selected && c == kDirectionColumn && u.direction != Monitor::Direction::Note)
            pen.setColor(u.direction == Monitor::Direction::Sent ? kSentColour : kReceivedColour);
        if (!selected && c == kDecodeColumn && (u.flags & Monitor::CrcBad))
            pen.setColor(kBadColour);
        painter.setPen(pen);
        // A cell that does not fit its column ends in "…"; Copy and the details have all of it.
        const int room = kColumns[c].chars - 1;
        const QString text = texts[c].size() > room ? texts[c].left(room - 1) + QChar(0x2026) : texts[c];
        painter.drawText(QPointF(x, rect.y() + fontMetrics().ascent()), text);
        x += kColumns[c].chars * charWidth;
    }
    painter.setPen(plain);
}

void MonitorRows::paintTitles(QPainter &painter, const QRect &rect) const
{
    const qreal charWidth = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
    qreal x = rect.x();
    for (const Column &column : kColumns) {
        painter.drawText(QPointF(x, rect.y() + fontMetrics().ascent()), QString::fromUtf16(column.title));
        x += column.chars * charWidth;
    }
}

int MonitorRows::rowWidth() const
{
    int chars = 0;
    for (const Column &column : kColumns)
        chars += column.chars;
    return qCeil(chars * QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0')));
}

QString MonitorRows::rowText(qsizetype row) const
{
    const std::array<QString, 10> texts = cells(row);
    return QStringList(texts.begin(), texts.end()).join(QLatin1Char('\t'));
}

bool MonitorRows::find(const QString &text, bool backward)
{
    const qsizetype rows = rowCount();
    if (text.isEmpty() || rows == 0)
        return false;
    const qsizetype from = currentRow() >= 0 ? currentRow() : (backward ? rows : -1);
    for (qsizetype step = 1; step <= rows; ++step) {
        const qsizetype row = ((from + (backward ? -step : step)) % rows + rows) % rows;
        const qint64 n = unitAt(row);
        if (!m_record.holds(n))
            continue;
        if (Charset::decode(m_record.at(n).bytes).contains(text, Qt::CaseInsensitive) ||
            Monitor::decode(m_record, n).summary.contains(text, Qt::CaseInsensitive)) {
            setCurrentRow(row);
            showRow(row);
            return true;
        }
    }
    return false;
}

void MonitorRows::currentRowChanged()
{
    if (currentChanged)
        currentChanged();
}

MonitorWindow::MonitorWindow(const Monitor::Record &record, std::function<void(const Monitor::Filter &)> saveAs,
                             QWidget *parent)
    : QWidget(parent, Qt::Window), m_record(record)
{
    setWindowTitle(QStringLiteral("Wire monitor - ") + (parent ? parent->windowTitle() : QString()));
    m_rows = new MonitorRows(record, this);
    m_rows->setObjectName(QStringLiteral("monitorRows"));
    m_titles = new Titles(*m_rows, this);
    connect(m_rows->horizontalScrollBar(), &QScrollBar::valueChanged, m_titles, qOverload<>(&QWidget::update));

    auto *bar = new QHBoxLayout;
    const char *const names[] = {"Sent", "Received", "Console", "Program", "Flash", "RTU"};
    for (size_t i = 0; i < m_boxes.size(); ++i) {
        m_boxes[i] = new QCheckBox(QString::fromLatin1(names[i]), this);
        m_boxes[i]->setChecked(true);
        connect(m_boxes[i], &QCheckBox::toggled, this, &MonitorWindow::filterChanged);
        bar->addWidget(m_boxes[i]);
        if (i == 1)
            bar->addSpacing(12);
    }
    bar->addStretch(1);
    m_find = new QLineEdit(this);
    m_find->setObjectName(QStringLiteral("monitorFind"));
    m_find->setPlaceholderText(QStringLiteral("Find in bytes and decodes (F3)"));
    connect(m_find, &QLineEdit::returnPressed, this,
            [this] { findNext(QApplication::keyboardModifiers() & Qt::ShiftModifier); });
    bar->addWidget(m_find, 1);
    for (const auto &[text, backward] : {std::pair{"<", true}, std::pair{">", false}}) {
        auto *button = new QToolButton(this);
        button->setText(QString::fromLatin1(text));
        button->setToolTip(backward ? QStringLiteral("Previous match (Shift+F3)") : QStringLiteral("Next match (F3)"));
        connect(button, &QToolButton::clicked, this, [this, backward = backward] { findNext(backward); });
        bar->addWidget(button);
    }
    m_findNote = new QLabel(this);
    bar->addWidget(m_findNote);
    auto *save = new QPushButton(QStringLiteral("Export..."), this);
    save->setToolTip(QStringLiteral("Save the units shown as JSON Lines, CSV or pcapng"));
    connect(save, &QPushButton::clicked, this, [this, saveAs = std::move(saveAs)] { saveAs(m_rows->filter()); });
    bar->addWidget(save);

    m_details = new QPlainTextEdit(this);
    m_details->setObjectName(QStringLiteral("monitorDetails"));
    m_details->setReadOnly(true);
    m_details->setFont(fixedFont());
    m_details->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_details->setFixedHeight(m_details->fontMetrics().lineSpacing() * 8);
    m_strip = new QLabel(this);
    m_strip->setObjectName(QStringLiteral("monitorStrip"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layout->addLayout(bar);
    layout->addWidget(m_titles);
    layout->addWidget(m_rows, 1);
    layout->addWidget(m_details);
    layout->addWidget(m_strip);

    const std::tuple<QKeySequence, std::function<void()>> keys[] = {
        {QKeySequence::Find, [this] { m_find->setFocus(), m_find->selectAll(); }},
        {QKeySequence(Qt::Key_F3), [this] { findNext(false); }},
        {QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { findNext(true); }},
        {QKeySequence::Copy, [this] { QApplication::clipboard()->setText(m_rows->selectedText()); }},
    };
    for (const auto &[sequence, run] : keys) {
        auto *action = new QAction(this);
        action->setShortcut(sequence);
        connect(action, &QAction::triggered, this, run);
        addAction(action);
    }
    m_rows->currentChanged = [this] { showDetails(); };
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &MonitorWindow::refresh);
    resize(1280, 600);
    m_rows->refresh();
    m_rows->scrollToEnd();
    showSummary();
}

void MonitorWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    m_refresh.start();
}

void MonitorWindow::hideEvent(QHideEvent *event)
{
    m_refresh.stop();
    QWidget::hideEvent(event);
}

void MonitorWindow::refresh()
{
    const qsizetype before = m_rows->rowCount();
    m_rows->refresh();
    // The sums go over every unit shown: a few times a second is enough for the eye.
    if (++m_ticks % 3 == 0 || m_rows->rowCount() != before)
        showSummary();
}

void MonitorWindow::filterChanged()
{
    Monitor::Filter filter;
    filter.sent = m_boxes[0]->isChecked();
    filter.received = m_boxes[1]->isChecked();
    filter.kinds = 0;
    for (int bit = 0; bit < 4; ++bit)
        filter.kinds |= m_boxes[size_t(2 + bit)]->isChecked() ? quint8(1 << bit) : 0;
    m_rows->setFilter(filter);
    showSummary();
}

void MonitorWindow::findNext(bool backward)
{
    const bool found = m_rows->find(m_find->text(), backward);
    m_findNote->setText(found || m_find->text().isEmpty() ? QString() : QStringLiteral("not found"));
}

QString MonitorWindow::details() const
{
    return m_details->toPlainText();
}

void MonitorWindow::showDetails()
{
    const qsizetype row = m_rows->currentRow();
    if (row < 0 || !m_record.holds(m_rows->unitAt(row))) {
        m_details->clear();
        return;
    }
    const qint64 n = m_rows->unitAt(row);
    const Monitor::Unit &u = m_record.at(n);
    const Monitor::Decoded decoded = Monitor::decode(m_record, n);
    QStringList lines;
    const QString rowText = m_rows->rowText(row);
    lines << rowText.section(QLatin1Char('\t'), 0, 5).replace(QLatin1Char('\t'), QLatin1Char(' ')) +
                 QStringLiteral(" bytes");
    QStringList fields;
    for (const Monitor::Field &field : decoded.fields)
        fields << QString::fromLatin1(field.name) + QStringLiteral(": ") + field.value;
    lines << decoded.summary << fields.join(QStringLiteral(", "));
    if (u.request >= 0)
        lines << QStringLiteral("answers #%1 after %2 ms").arg(u.request).arg(milliseconds(u.replyUs));
    for (qsizetype at = 0; at < u.bytes.size() && at < kDetailRows * PaneRender::kHexBytes; at += PaneRender::kHexBytes)
        lines << PaneRender::hexRow(QByteArrayView(u.bytes).sliced(at, qMin<qsizetype>(16, u.bytes.size() - at)), at);
    lines.removeAll(QString());
    m_details->setPlainText(lines.join(QLatin1Char('\n')));
}

void MonitorWindow::showSummary()
{
    m_strip->setText(stripText());
}

QString MonitorWindow::stripText() const
{
    const Monitor::Summary s = m_record.summarize(m_rows->filter());
    const QLocale c = QLocale::c();
    QString text = QStringLiteral("\u2192 %1 sent, %2   \u2190 %3 received, %4   CRC errors %5   without reply %6")
                       .arg(s.sent)
                       .arg(c.formattedDataSize(s.bytesSent, 1, QLocale::DataSizeIecFormat))
                       .arg(s.received)
                       .arg(c.formattedDataSize(s.bytesReceived, 1, QLocale::DataSizeIecFormat))
                       .arg(s.crcErrors)
                       .arg(s.unanswered);
    if (s.replies > 0)
        text += QStringLiteral("   reply min %1, median %2, max %3 ms")
                    .arg(milliseconds(s.minUs), milliseconds(s.medianUs), milliseconds(s.maxUs));
    return text;
}
