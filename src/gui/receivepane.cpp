// SPDX-License-Identifier: MIT
#include "receivepane.h"

#include "panerows.h"
#include "panetext.h"

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
#include <QStackedLayout>
#include <QToolButton>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

ReceivePane::ReceivePane(const TextBox &box, std::function<void()> saveAs, QWidget *parent)
    : QWidget(parent), m_box(box)
{
    m_text = new PaneText(box, m_lines, this);
    m_rows = new PaneRows(box, m_lines, this);
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
    // F3 goes on finding while the find bar is open; closed, it is the third saved command's key.
    m_findAgain = {makeAction(
                       QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3), "findNext", [this] { findNext(false); },
                       Qt::WindowShortcut),
                   makeAction(
                       QStringLiteral("Find &Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3), "findPrevious",
                       [this] { findNext(true); }, Qt::WindowShortcut)};
    showFindAgain(false);
    makeAction(QStringLiteral("Save &As..."), {}, "saveAs", std::move(saveAs));
    m_hexView = makeAction(QStringLiteral("&Hex View"), {}, "hexView",
                           [this] { setView(m_hexView->isChecked(), m_stampView->isChecked()); });
    m_stampView = makeAction(QStringLiteral("&Time Stamps"), {}, "timeStamps",
                             [this] { setView(m_hexView->isChecked(), m_stampView->isChecked()); });
    m_hexView->setCheckable(true);
    m_stampView->setCheckable(true);
    makeAction(QStringLiteral("Close the find bar"), QKeySequence(Qt::Key_Escape), "closeFind",
               [this] { closeFindBar(); });

    for (RowView *view : {static_cast<RowView *>(m_text), static_cast<RowView *>(m_rows)}) {
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

void ReceivePane::setBytes()
{
    m_flushTimer.stop();
    m_pending = m_followEnd = false;
    m_lines.reset();
    m_lines.take(m_box.Text());
    m_text->textReplaced();
    if (rowsShown())
        m_rows->textReplaced();
}

void ReceivePane::appendBytes()
{
    m_pending = true;
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void ReceivePane::scrollToEnd()
{
    if (m_pending) {
        m_followEnd = true;
        return;
    }
    m_text->scrollToEnd();
    if (rowsShown())
        m_rows->scrollToEnd();
}

void ReceivePane::flush()
{
    m_flushTimer.stop();
    if (!std::exchange(m_pending, false))
        return;
    const qsizetype before = m_lines.read();
    m_lines.take(m_box.Text());
    // The text view keeps up while hidden, so that it shows the same text when it comes back; the rows start anew.
    m_text->takeAppends(before);
    if (rowsShown())
        m_rows->rowsAppended();
    if (std::exchange(m_followEnd, false))
        scrollToEnd();
}

void ReceivePane::trimFront(const QByteArray &removed)
{
    // The model has dropped the bytes already: the index lets go of them first; what came before the cut is taken in
    // with the next frame.
    const LineIndex::Cut cut = m_lines.cut(removed.size());
    m_text->trimmed(removed, cut);
    if (rowsShown())
        m_rows->trimmed(removed.size(), cut);
}

void ReceivePane::setView(bool hex, bool stamps)
{
    m_hexView->setChecked(hex);
    m_stampView->setChecked(stamps);
    const bool hadFocus = m_views->currentWidget()->hasFocus();
    // The same text stays in view: the line at the top, or the end when the view was following it.
    const bool wasRows = rowsShown();
    const bool atEnd = wasRows ? m_rows->atEnd() : m_text->atEnd();
    const qsizetype line = wasRows ? m_rows->lineOfRow(m_rows->topRow()) : m_text->topRow();
    flush();
    if (hex || stamps) {
        m_rows->setView(hex, stamps);
        m_views->setCurrentWidget(m_rows);
        atEnd ? m_rows->scrollToEnd() : m_rows->setTopRow(m_rows->rowOfLine(line));
    } else {
        m_views->setCurrentWidget(m_text);
        atEnd ? m_text->scrollToEnd() : m_text->setTopRow(line);
    }
    setFocusProxy(m_views->currentWidget());
    if (hadFocus)
        m_views->currentWidget()->setFocus();
}

void ReceivePane::showMenu(const QPoint &globalPos)
{
    m_copy->setEnabled(currentView()->hasSelection());
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

RowView *ReceivePane::currentView() const
{
    return rowsShown() ? static_cast<RowView *>(m_rows) : m_text;
}

void ReceivePane::copy()
{
    if (currentView()->hasSelection())
        QApplication::clipboard()->setText(currentView()->selectedText());
}

void ReceivePane::selectAll()
{
    currentView()->selectAll();
}

void ReceivePane::showFindBar()
{
    // Ctrl+F may come from anywhere in the window: closing the bar gives the focus back there.
    if (QWidget *focus = QApplication::focusWidget(); focus && !m_findBar->isAncestorOf(focus))
        m_focusBefore = focus;
    m_findBar->show();
    showFindAgain(true);
    m_findText->setFocus();
    m_findText->selectAll();
}

void ReceivePane::closeFindBar()
{
    m_findBar->hide();
    showFindAgain(false);
    QWidget *back = m_focusBefore ? m_focusBefore.data() : m_views->currentWidget();
    back->setFocus();
}

void ReceivePane::showFindAgain(bool open)
{
    for (QAction *action : m_findAgain)
        action->setEnabled(open);
}

void ReceivePane::findNext(bool backward)
{
    const QString needle = m_findText->text();
    if (needle.isEmpty()) {
        showFindBar();
        return;
    }
    const QByteArray bytes = Charset::encode(needle);
    const bool found = rowsShown() ? m_rows->find(bytes, backward) : m_text->find(bytes, backward);
    m_findNote->setText(found ? QString() : QStringLiteral("not found"));
}

void ReceivePane::returnFreedMemory()
{
#if defined(__GLIBC__)
    // A fixed threshold also stops the library from raising it after each large block freed.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}
