// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <QTimer>

#include <functional>

class PaneRows;
class QAction;
class QLabel;
class QLineEdit;
class QStackedLayout;
class TextBox;

/// The pane's text view: its bytes as lines of Windows-1251 characters. The console may receive thousands of
/// datagrams a second and grow to megabytes, so appends are gathered and inserted at one cursor kept at the end,
/// at most once per frame; an append costs the appended bytes only, whatever the pane already holds.
class PaneText : public QPlainTextEdit
{
public:
    explicit PaneText(QWidget *parent = nullptr);

    /// Replaces the whole text; appends not yet shown are dropped with the old text.
    void setBytes(const QByteArray &bytes);
    /// Queues bytes for the next flush.
    void appendBytes(const QByteArray &bytes) { m_pending.append(bytes); }
    /// Brings the newest text into view (at once, or with the flush when appends are pending).
    void scrollToEnd();
    /// Shows the pending bytes now.
    void flush();
    /// Drops the text the model dropped: `removed`, the oldest bytes, ending at a line start.
    void trimFront(const QByteArray &removed);
    /// The line at the top of the view, and the view scrolled to show a line there.
    qsizetype topLine() const;
    void showLine(qsizetype line);
    bool atEnd() const;

private:
    /// CR LF, a lone CR and a lone LF each become one line break, also when CR LF is split over two appends.
    QString lines(const QByteArray &bytes);

    /// Lines appended a frame at a time cost the document about twice what the same lines inserted at once do:
    /// once enough have come, the newest are inserted again in one piece.
    void insertTailAgain(bool following);
    static constexpr qsizetype kTailChars = 256 * 1024;

    QByteArray m_pending;
    QTextCursor m_end;
    QString m_tail; // what was inserted since the last time, as it was inserted
    bool m_lastWasCR = false;
    bool m_followEnd = false;
};

/// The receive pane: its text, or its rows in hex or with the time each received chunk came, and a context menu
/// with Copy, Select All, Find, Save As and the views. Display only: the views re-render what the model keeps,
/// and nothing here changes the model's text or the log.
class ReceivePane : public QWidget
{
public:
    /// `saveAs` runs the model's command that saves the pane's bytes.
    ReceivePane(const TextBox &box, std::function<void()> saveAs, QWidget *parent = nullptr);

    void setBytes(const QByteArray &bytes);
    /// Queues bytes for the next frame.
    void appendBytes(const QByteArray &bytes);
    void scrollToEnd();
    /// Shows the pending bytes now.
    void flush();
    void trimFront(const QByteArray &removed);

    PaneText *textView() const { return m_text; }
    PaneRows *rows() const { return m_rows; }
    /// Hex rows, time stamps, both, or the text.
    void setView(bool hex, bool stamps);

    /// How long appends are gathered before they are shown.
    static constexpr int kFlushMs = 30;

    /// Gives each allocation of a megabyte or more (the pane's text, in the model and in the view) pages of its
    /// own, returned to the system when freed. Otherwise the C library keeps what a trimmed or cleared pane freed
    /// and hands it out again piecemeal, and over hours of console output the process grows by tens of MiB beyond
    /// what the full pane needs. Called once, before anything is allocated.
    static void returnFreedMemory();

private:
    bool rowsShown() const;
    void showMenu(const QPoint &globalPos);
    void copy();
    void selectAll();
    void showFindBar();
    void closeFindBar();
    void findNext(bool backward);
    /// An action of the menu; its keys work where the focus is in the pane, or in the whole window.
    QAction *makeAction(const QString &text, const QKeySequence &keys, const char *name,
                        const std::function<void()> &run, Qt::ShortcutContext context = Qt::WidgetWithChildrenShortcut);

    const TextBox &m_box;
    PaneText *m_text = nullptr;
    PaneRows *m_rows = nullptr;
    QStackedLayout *m_views = nullptr;
    QWidget *m_findBar = nullptr;
    QLineEdit *m_findText = nullptr;
    QLabel *m_findNote = nullptr;
    QPointer<QWidget> m_focusBefore; // where the focus was when the find bar opened
    QAction *m_copy = nullptr;
    QAction *m_hexView = nullptr;
    QAction *m_stampView = nullptr;
    QTimer m_flushTimer;
    bool m_rowsPending = false; // appends the rows have not taken in
    bool m_rowsFollowEnd = false;
};
