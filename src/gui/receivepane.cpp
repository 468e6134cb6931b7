// SPDX-License-Identifier: MIT
#include "receivepane.h"

#include "panerows.h"

#include "app/charset.h"
#include "app/element.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTextBlock>
#include <QToolButton>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

PaneText::PaneText(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    // Read-only, but the keyboard can still select and copy.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setTabChangesFocus(true);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_end = QTextCursor(document());
}

QString PaneText::lines(const QByteArray &bytes)
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

void PaneText::setBytes(const QByteArray &bytes)
{
    m_pending.clear();
    m_lastWasCR = false;
    m_followEnd = false;
    setPlainText(lines(bytes));
    m_end = QTextCursor(document());
    m_end.movePosition(QTextCursor::End);
    m_tail.clear();
}

void PaneText::scrollToEnd()
{
    if (!m_pending.isEmpty()) {
        m_followEnd = true;
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

bool PaneText::atEnd() const
{
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void PaneText::flush()
{
    if (m_pending.isEmpty())
        return;
    QScrollBar *bar = verticalScrollBar();
    const bool requested = std::exchange(m_followEnd, false);
    const bool follow = requested || bar->value() >= bar->maximum();
    const QString text = lines(std::exchange(m_pending, {}));
    m_end.beginEditBlock();
    m_end.insertText(text);
    m_end.endEditBlock();
    m_tail += text;
    if (m_tail.size() >= kTailChars)
        insertTailAgain(follow);
    if (follow)
        bar->setValue(bar->maximum());
}

void PaneText::insertTailAgain(bool following)
{
    // Only while nobody reads the newest lines (the view follows the end with nothing selected), and while they
    // still end the document whole (a trim may have cut into them); otherwise they stay as they came.
    const int start = document()->characterCount() - 1 - int(m_tail.size());
    if (following && start >= 0 && !textCursor().hasSelection()) {
        QTextCursor tail(document());
        tail.setPosition(start);
        tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        // Two edits: the document compacts its text buffer after the removal, before the insert can outgrow it.
        tail.removeSelectedText();
        tail.insertText(m_tail);
        m_end.movePosition(QTextCursor::End);
    }
    m_tail.clear();
}

void PaneText::trimFront(const QByteArray &removed)
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

qsizetype PaneText::topLine() const
{
    return firstVisibleBlock().blockNumber();
}

void PaneText::showLine(qsizetype line)
{
    // Without line wrapping the scroll bar counts lines; with it, a line's first row is found from its block.
    const QTextBlock block = document()->findBlockByNumber(int(line));
    if (!block.isValid()) {
        scrollToEnd();
        return;
    }
    QTextCursor at(block);
    setTextCursor(at);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    ensureCursorVisible();
}

ReceivePane::ReceivePane(const TextBox &box, std::function<void()> saveAs, QWidget *parent)
    : QWidget(parent), m_box(box)
{
    m_text = new PaneText(this);
    m_rows = new PaneRows(box, this);
    m_views = new QStackedLayout;
    m_views->addWidget(m_text);
    m_views->addWidget(m_rows);

    // The find bar, under the text while it is open.
    m_findBar = new QWidget(this);
    m_findBar->setFont(QApplication::font(this));
    auto *bar = new QHBoxLayout(m_findBar);
    bar->setContentsMargins(2, 1, 2, 1);
    m_findText = new QLineEdit(m_findBar);
    m_findText->setObjectName(QStringLiteral("findText"));
    m_findText->setPlaceholderText(QStringLiteral("Find in the pane"));
    m_findNote = new QLabel(m_findBar);
    bar->addWidget(new QLabel(QStringLiteral("Find:"), m_findBar));
    bar->addWidget(m_findText, 1);
    for (const auto &[text, tip, backward] :
         {std::tuple{"<", "Previous match (Shift+F3)", true}, std::tuple{">", "Next match (F3)", false}}) {
        auto *button = new QToolButton(m_findBar);
        button->setText(QString::fromLatin1(text));
        button->setToolTip(QString::fromLatin1(tip));
        connect(button, &QToolButton::clicked, this, [this, backward = backward] { findNext(backward); });
        bar->addWidget(button);
    }
    bar->addWidget(m_findNote);
    auto *close = new QToolButton(m_findBar);
    close->setText(QStringLiteral("x"));
    close->setToolTip(QStringLiteral("Close the find bar (Esc)"));
    connect(close, &QToolButton::clicked, this, [this] { closeFindBar(); });
    bar->addWidget(close);
    m_findBar->hide();
    connect(m_findText, &QLineEdit::returnPressed, this,
            [this] { findNext(QApplication::keyboardModifiers() & Qt::ShiftModifier); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(m_views, 1);
    layout->addWidget(m_findBar);
    setFocusProxy(m_text);

    m_copy = makeAction(QStringLiteral("&Copy"), QKeySequence::Copy, "copy", [this] { copy(); });
    makeAction(QStringLiteral("Select &All"), QKeySequence::SelectAll, "selectAll", [this] { selectAll(); });
    // Find works wherever the focus is in the window: it is in the command line most of the time.
    makeAction(
        QStringLiteral("&Find..."), QKeySequence::Find, "find", [this] { showFindBar(); }, Qt::WindowShortcut);
    makeAction(
        QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3), "findNext", [this] { findNext(false); },
        Qt::WindowShortcut);
    makeAction(
        QStringLiteral("Find &Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3), "findPrevious",
        [this] { findNext(true); }, Qt::WindowShortcut);
    makeAction(QStringLiteral("Save &As..."), {}, "saveAs", std::move(saveAs));
    m_hexView = makeAction(QStringLiteral("&Hex View"), {}, "hexView",
                           [this] { setView(m_hexView->isChecked(), m_stampView->isChecked()); });
    m_stampView = makeAction(QStringLiteral("&Time Stamps"), {}, "timeStamps",
                             [this] { setView(m_hexView->isChecked(), m_stampView->isChecked()); });
    m_hexView->setCheckable(true);
    m_stampView->setCheckable(true);
    makeAction(QStringLiteral("Close the find bar"), QKeySequence(Qt::Key_Escape), "closeFind",
               [this] { closeFindBar(); });

    for (QAbstractScrollArea *view :
         {static_cast<QAbstractScrollArea *>(m_text), static_cast<QAbstractScrollArea *>(m_rows)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint &pos) { showMenu(view->viewport()->mapToGlobal(pos)); });
    }

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &ReceivePane::flush);
}

QAction *ReceivePane::makeAction(const QString &text, const QKeySequence &keys, const char *name,
                                 const std::function<void()> &run, Qt::ShortcutContext context)
{
    auto *action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    action->setShortcutContext(context);
    connect(action, &QAction::triggered, this, [run] { run(); });
    QWidget::addAction(action);
    return action;
}

bool ReceivePane::rowsShown() const
{
    return m_views->currentWidget() == m_rows;
}

void ReceivePane::setBytes(const QByteArray &bytes)
{
    m_flushTimer.stop();
    m_rowsPending = m_rowsFollowEnd = false;
    m_text->setBytes(bytes);
    if (rowsShown())
        m_rows->textReplaced();
}

void ReceivePane::appendBytes(const QByteArray &bytes)
{
    m_text->appendBytes(bytes);
    m_rowsPending = true;
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void ReceivePane::scrollToEnd()
{
    m_text->scrollToEnd();
    if (!rowsShown())
        return;
    if (m_rowsPending)
        m_rowsFollowEnd = true;
    else
        m_rows->scrollToEnd();
}

void ReceivePane::flush()
{
    m_flushTimer.stop();
    m_text->flush();
    if (rowsShown() && std::exchange(m_rowsPending, false)) {
        m_rows->takeAppends();
        if (std::exchange(m_rowsFollowEnd, false))
            m_rows->scrollToEnd();
    }
    m_rowsPending = false;
}

void ReceivePane::trimFront(const QByteArray &removed)
{
    m_text->trimFront(removed);
    if (rowsShown())
        m_rows->trimmed(removed.size());
}

void ReceivePane::setView(bool hex, bool stamps)
{
    m_hexView->setChecked(hex);
    m_stampView->setChecked(stamps);
    const bool hadFocus = m_views->currentWidget()->hasFocus();
    // The same text stays in view: the line at the top, or the end when the view was following it.
    const bool wasRows = rowsShown();
    const bool atEnd = wasRows ? m_rows->topRow() >= m_rows->verticalScrollBar()->maximum() : m_text->atEnd();
    const qsizetype line = wasRows ? m_rows->lineOfRow(m_rows->topRow()) : m_text->topLine();
    flush();
    if (hex || stamps) {
        m_rows->setView(hex, stamps);
        m_views->setCurrentWidget(m_rows);
        atEnd ? m_rows->scrollToEnd() : m_rows->showRow(m_rows->rowOfLine(line));
    } else {
        m_rows->release();
        m_views->setCurrentWidget(m_text);
        atEnd ? m_text->scrollToEnd() : m_text->showLine(line);
    }
    setFocusProxy(m_views->currentWidget());
    if (hadFocus)
        m_views->currentWidget()->setFocus();
}

void ReceivePane::showMenu(const QPoint &globalPos)
{
    m_copy->setEnabled(rowsShown() ? m_rows->hasSelection() : m_text->textCursor().hasSelection());
    QMenu menu(this);
    for (QAction *action : actions()) {
        const QString name = action->objectName();
        if (name == QLatin1String("closeFind"))
            continue;
        if (name == QLatin1String("find") || name == QLatin1String("saveAs") || name == QLatin1String("hexView"))
            menu.addSeparator();
        menu.addAction(action);
    }
    menu.exec(globalPos);
}

void ReceivePane::copy()
{
    if (rowsShown()) {
        if (m_rows->hasSelection())
            QApplication::clipboard()->setText(m_rows->selectedText());
    } else {
        m_text->copy();
    }
}

void ReceivePane::selectAll()
{
    rowsShown() ? m_rows->selectAll() : m_text->selectAll();
}

void ReceivePane::showFindBar()
{
    // Ctrl+F may come from anywhere in the window: closing the bar gives the focus back there.
    if (QWidget *focus = QApplication::focusWidget(); focus && !m_findBar->isAncestorOf(focus))
        m_focusBefore = focus;
    m_findBar->show();
    m_findText->setFocus();
    m_findText->selectAll();
}

void ReceivePane::closeFindBar()
{
    m_findBar->hide();
    QWidget *back = m_focusBefore ? m_focusBefore.data() : m_views->currentWidget();
    back->setFocus();
}

void ReceivePane::findNext(bool backward)
{
    const QString needle = m_findText->text();
    if (needle.isEmpty()) {
        showFindBar();
        return;
    }
    bool found = false;
    if (rowsShown()) {
        found = m_rows->find(Charset::encode(needle), backward);
    } else {
        const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
        found = m_text->find(needle, flags);
        if (!found) {
            // Round from the other end, as a find bar does.
            const QTextCursor kept = m_text->textCursor();
            m_text->moveCursor(backward ? QTextCursor::End : QTextCursor::Start);
            found = m_text->find(needle, flags);
            if (!found)
                m_text->setTextCursor(kept);
        }
    }
    m_findNote->setText(found ? QString() : QStringLiteral("not found"));
}

void ReceivePane::returnFreedMemory()
{
#if defined(__GLIBC__)
    // A fixed threshold also stops the library from raising it after each large block freed.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}
