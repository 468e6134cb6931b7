// SPDX-License-Identifier: MIT
#include "receivepane.h"

#include "app/charset.h"

#include <QScrollBar>

ReceivePane::ReceivePane(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_end = QTextCursor(document());
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &ReceivePane::flush);
}

QString ReceivePane::lines(const QByteArray &bytes)
{
    qsizetype from = 0;
    if (m_lastWasCR && bytes.startsWith('\n'))
        from = 1; // the LF of a CR LF whose CR already made the break
    if (!bytes.isEmpty())
        m_lastWasCR = bytes.endsWith('\r');
    QString text = Charset::decode(bytes.mid(from));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void ReceivePane::setBytes(const QByteArray &bytes)
{
    m_pending.clear();
    m_flushTimer.stop();
    m_lastWasCR = false;
    m_followEnd = false;
    setPlainText(lines(bytes));
    m_end = QTextCursor(document());
    m_end.movePosition(QTextCursor::End);
}

void ReceivePane::appendBytes(const QByteArray &bytes)
{
    m_pending.append(bytes);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void ReceivePane::scrollToEnd()
{
    if (!m_pending.isEmpty()) {
        m_followEnd = true;
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void ReceivePane::flush()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    QScrollBar *bar = verticalScrollBar();
    const bool requested = std::exchange(m_followEnd, false);
    const bool follow = requested || bar->value() >= bar->maximum();
    const QString text = lines(std::exchange(m_pending, {}));
    m_end.beginEditBlock();
    m_end.insertText(text);
    m_end.endEditBlock();
    if (follow)
        bar->setValue(bar->maximum());
}

void ReceivePane::trimFront(const QByteArray &removed)
{
    // What the model dropped may still be waiting to be shown.
    flush();
    // Every byte is one character of the document, except the LF of a CR LF, which shares its CR's line
    // break; the model never cuts between the two.
    const qsizetype chars = removed.size() - removed.count("\r\n");
    QTextCursor front(document());
    front.setPosition(int(qMin<qsizetype>(chars, document()->characterCount() - 1)), QTextCursor::KeepAnchor);
    front.removeSelectedText();
}
