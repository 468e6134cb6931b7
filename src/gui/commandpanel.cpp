// SPDX-License-Identifier: MIT
#include "commandpanel.h"

#include "app/charset.h"
#include "app/window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>
#include <utility>

namespace
{
/// What a command's button says when the pointer rests on it: the text as the file writes it, and how it goes out.
QString commandTip(const SavedCommand &command)
{
    QString tip = Charset::decode(CommandFile::escape(command.text));
    if (!command.lineEnd)
        tip += QStringLiteral("\n(no line end added)");
    if (command.repeatMs > 0)
        tip += QStringLiteral("\n(sent every %1 ms until Stop)").arg(command.repeatMs);
    return tip;
}
} // namespace

CommandPanel::CommandPanel(UDP &udp, std::function<void(const std::function<void()> &)> run, QWidget *parent)
    : QWidget(parent), m_udp(udp), m_run(std::move(run))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *top = new QHBoxLayout;
    m_lists = new QComboBox(this);
    m_lists->setObjectName(QStringLiteral("commandLists"));
    m_lists->setToolTip(QStringLiteral("The list of saved commands shown"));
    connect(m_lists, &QComboBox::activated, this,
            [this](int list) { m_run([=, this] { m_udp.CommandList_Change(list); }); });
    auto *menuButton = new QToolButton(this);
    menuButton->setText(QStringLiteral("Lists"));
    menuButton->setToolTip(QStringLiteral("Makes, renames and deletes lists; imports and exports them"));
    menuButton->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(menuButton);
    const auto addAction = [&](const QString &text, const char *name, const std::function<void()> &what) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, what);
    };
    addAction(QStringLiteral("New list..."), "newList", [this] {
        askListName(QStringLiteral("New list"), {}, [this](const QByteArray &name) {
            QString why;
            m_run([&] { why = m_udp.CommandList_Add(name); });
            return why;
        });
    });
    addAction(QStringLiteral("Rename list..."), "renameList", [this] {
        if (m_udp.currentList() >= 0)
            askListName(QStringLiteral("Rename list"), m_udp.commandLists()[m_udp.currentList()].name,
                        [this](const QByteArray &name) {
                            QString why;
                            m_run([&] { why = m_udp.CommandList_Rename(name); });
                            return why;
                        });
    });
    addAction(QStringLiteral("Delete list"), "deleteList", [this] {
        if (m_udp.currentList() < 0)
            return;
        const CommandList &list = m_udp.commandLists()[m_udp.currentList()];
        const QString question = QStringLiteral("Delete the list \"%1\" and its %2 commands?")
                                     .arg(Charset::decode(list.name))
                                     .arg(list.commands.size());
        if (QMessageBox::question(this, QStringLiteral("Delete list"), question) == QMessageBox::Yes)
            m_run([this] { m_udp.CommandList_Delete(); });
    });
    menu->addSeparator();
    addAction(QStringLiteral("Import..."), "importLists", [this] { m_run([this] { m_udp.CommandImport_Click(); }); });
    addAction(QStringLiteral("Export..."), "exportLists", [this] { m_run([this] { m_udp.CommandExport_Click(); }); });
    menuButton->setMenu(menu);
    top->addWidget(m_lists, 1);
    top->addWidget(menuButton);
    layout->addLayout(top);

    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *holder = new QWidget(scroll);
    m_commands = new QVBoxLayout(holder);
    m_commands->setContentsMargins(0, 0, 0, 0);
    m_commands->addStretch();
    scroll->setWidget(holder);
    layout->addWidget(scroll, 1);

    auto *add = new QPushButton(QStringLiteral("Add command..."), this);
    add->setObjectName(QStringLiteral("addCommand"));
    add->setToolTip(QStringLiteral("Adds a command to the list shown"));
    connect(add, &QPushButton::clicked, this, [this] { editCommand(INT_MAX); });
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_stop->setObjectName(QStringLiteral("stopRepeat"));
    connect(m_stop, &QPushButton::clicked, this, [this] { m_run([this] { m_udp.StopRepeat_Click(); }); });
    layout->addWidget(add);
    layout->addWidget(m_stop);
    refresh();
}

QPushButton *CommandPanel::commandButton(int index) const
{
    return m_buttons.value(index);
}

void CommandPanel::refresh()
{
    const QSignalBlocker blocker(m_lists);
    m_lists->clear();
    for (const CommandList &list : m_udp.commandLists())
        m_lists->addItem(Charset::decode(list.name));
    m_lists->setCurrentIndex(m_udp.currentList());

    // A button may be the one whose click changed the lists: it goes once its click is over.
    for (QPushButton *button : std::exchange(m_buttons, {})) {
        m_commands->removeWidget(button);
        button->hide();
        button->deleteLater();
    }
    const QList<SavedCommand> none;
    const QList<SavedCommand> &commands =
        m_udp.currentList() >= 0 ? m_udp.commandLists()[m_udp.currentList()].commands : none;
    for (int i = 0; i < commands.size(); ++i) {
        const QString key = i < 12 ? QStringLiteral("F%1  ").arg(i + 1) : QString();
        auto *button = new QPushButton(key + Charset::decode(commands[i].name));
        button->setStyleSheet(QStringLiteral("text-align: left; padding: 2px 6px"));
        button->setToolTip(commandTip(commands[i]));
        button->setContextMenuPolicy(Qt::ActionsContextMenu);
        auto *edit = new QAction(QStringLiteral("Edit..."), button);
        auto *remove = new QAction(QStringLiteral("Delete"), button);
        button->addActions({edit, remove});
        connect(button, &QPushButton::clicked, this, [this, i] { m_run([=, this] { m_udp.SavedCommand_Click(i); }); });
        connect(edit, &QAction::triggered, this, [this, i] { editCommand(i); });
        connect(remove, &QAction::triggered, this, [this, i] { m_run([=, this] { m_udp.CommandEdit_Delete(i); }); });
        m_commands->insertWidget(i, button);
        m_buttons << button;
    }
    const std::optional<SavedCommand> &repeating = m_udp.repeating();
    m_stop->setEnabled(repeating.has_value());
    m_stop->setText(repeating ? QStringLiteral("Stop ") + Charset::decode(repeating->name) : QStringLiteral("Stop"));
    m_stop->setToolTip(QStringLiteral("Stops the command that repeats"));
}

bool CommandPanel::editCommand(int index)
{
    if (m_udp.currentList() < 0) {
        askListName(QStringLiteral("New list"), {}, [this](const QByteArray &name) {
            QString why;
            m_run([&] { why = m_udp.CommandList_Add(name); });
            return why;
        });
        if (m_udp.currentList() < 0)
            return false;
    }
    const QList<SavedCommand> &commands = m_udp.commandLists()[m_udp.currentList()].commands;
    const SavedCommand command = commands.value(index, SavedCommand{});
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("commandDialog"));
    dialog.setWindowTitle(index < commands.size() ? QStringLiteral("Edit command") : QStringLiteral("Add command"));
    auto *form = new QFormLayout(&dialog);
    auto *name = new QLineEdit(Charset::decode(command.name), &dialog);
    auto *text = new QLineEdit(Charset::decode(CommandFile::escape(command.text)), &dialog);
    text->setToolTip(QStringLiteral("What is sent, as typed in the command line; \\r \\n \\t \\\\ and \\xHH for "
                                    "bytes the keyboard cannot type"));
    auto *lineEnd = new QCheckBox(QStringLiteral("Add the line end, as Enter does"), &dialog);
    lineEnd->setChecked(command.lineEnd);
    auto *repeat = new QSpinBox(&dialog);
    repeat->setRange(0, CommandFile::kMaxRepeatMs);
    repeat->setSuffix(QStringLiteral(" ms"));
    repeat->setSpecialValueText(QStringLiteral("no repeat"));
    repeat->setValue(command.repeatMs);
    auto *why = new QLabel(&dialog);
    why->setObjectName(QStringLiteral("why"));
    why->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(QStringLiteral("Name:"), name);
    form->addRow(QStringLiteral("Text:"), text);
    form->addRow(QString(), lineEnd);
    form->addRow(QStringLiteral("Repeat every:"), repeat);
    form->addRow(why);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        QString refused;
        m_run([&] {
            refused = m_udp.CommandEdit_Save(index, Charset::encode(name->text()), Charset::encode(text->text()),
                                             lineEnd->isChecked(), repeat->value());
        });
        why->setText(refused);
        if (refused.isEmpty())
            dialog.accept();
    });
    return dialog.exec() == QDialog::Accepted;
}

void CommandPanel::askListName(const QString &title, const QByteArray &name,
                               const std::function<QString(QByteArray)> &take)
{
    QString typed = Charset::decode(name), label = QStringLiteral("Name of the list:");
    for (;;) {
        bool ok = false;
        typed = QInputDialog::getText(this, title, label, QLineEdit::Normal, typed, &ok);
        if (!ok)
            return;
        const QString why = take(Charset::encode(typed));
        if (why.isEmpty())
            return;
        label = why + QStringLiteral("\nName of the list:");
    }
}
