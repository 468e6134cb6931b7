// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>

/// The multi-line, read-only text pane. The console may receive thousands of datagrams a second and grow to
/// megabytes, so appends are gathered and inserted at one cursor kept at the end, at most once per flush
/// interval; an append costs the appended bytes only, whatever the pane already holds.
class ReceivePane : public QPlainTextEdit
{
public:
    explicit ReceivePane(QWidget *parent = nullptr);

    /// Replaces the whole text; appends not yet shown are dropped with the old text.
    void setBytes(const QByteArray &bytes);
    /// Queues bytes for the next flush.
    void appendBytes(const QByteArray &bytes);
    /// Brings the newest text into view (at once, or with the flush when appends are pending).
    void scrollToEnd();
    /// Shows the pending bytes now.
    void flush();
    /// Drops the text the model dropped: `removed`, the oldest bytes, ending at a line start.
    void trimFront(const QByteArray &removed);

    /// How long appends are gathered before they are shown.
    static constexpr int kFlushMs = 30;

private:
    /// CR LF, a lone CR and a lone LF each become one line break, also when CR LF is split over two appends.
    QString lines(const QByteArray &bytes);

    QByteArray m_pending;
    QTextCursor m_end;
    QTimer m_flushTimer;
    bool m_lastWasCR = false;
    bool m_followEnd = false;
};
