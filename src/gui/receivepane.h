// SPDX-License-Identifier: MIT
#pragma once

#include "lineindex.h"

#include <QByteArray>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>

class PaneRows;
class PaneText;
class QAction;
class QLabel;
class QLineEdit;
class QStackedLayout;
class RowView;
class TextBox;

/// The receive pane: its text, or its rows in hex or with the time each received chunk came, and a context menu
/// with Copy, Select All, Find, Save As and the views. Display only: the views paint what the model keeps, with
/// one index of its lines between them, and nothing here changes the model's text or the log. The console may
/// receive thousands of datagrams a second: appends are taken in at most once per frame.
class ReceivePane : public QWidget
{
public:
    /// `saveAs` runs the model's command that saves the pane's bytes.
    ReceivePane(const TextBox &box, std::function<void()> saveAs, QWidget *parent = nullptr);

    /// The model replaced the whole text.
    void setBytes();
    /// The model appended bytes: they are shown with the next frame.
    void appendBytes();
    /// Brings the newest text into view (at once, or with the next frame when appends are pending).
    void scrollToEnd();
    /// Shows the pending bytes now.
    void flush();
    /// The model dropped `removed`, its oldest bytes.
    void trimFront(const QByteArray &removed);

    PaneText *textView() const { return m_text; }
    const LineIndex &lines() const { return m_lines; }
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
    RowView *currentView() const;
    void showMenu(const QPoint &globalPos);
    void copy();
    void selectAll();
    void showFindBar();
    void closeFindBar();
    void showFindAgain(bool open);
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
    std::array<QAction *, 2> m_findAgain{};
    QAction *m_hexView = nullptr;
    QAction *m_stampView = nullptr;
    LineIndex m_lines;
    QTimer m_flushTimer;
    bool m_pending = false;   // appends the views have not taken in
    bool m_followEnd = false; // the newest text comes into view with them
};
