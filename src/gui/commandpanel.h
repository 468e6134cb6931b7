// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include <functional>

class QComboBox;
class QPushButton;
class QVBoxLayout;
class UDP;

/// The side panel of saved commands (Ctrl+L): the list shown, a button per command (F1 to F12 for the first
/// twelve), Stop while one repeats, and the menus that change the lists. It shows the model's lists and hands every
/// click to the model's handlers; the dialogs only gather what the user typed, which the model judges.
class CommandPanel : public QWidget
{
public:
    /// `run` runs a handler of the model as the window runs it.
    CommandPanel(UDP &udp, std::function<void(const std::function<void()> &)> run, QWidget *parent = nullptr);

    /// Shows the lists as the model now holds them.
    void refresh();
    /// The button of command `index` of the list shown; nullptr past its end.
    QPushButton *commandButton(int index) const;

    static constexpr int kWidth = 200;

private:
    /// The dialog for command `index` of the list shown (a new one past its end); true when the model took it.
    bool editCommand(int index);
    /// Asks for a list's name and hands it to `take`, again while the model refuses it.
    void askListName(const QString &title, const QByteArray &name, const std::function<QString(QByteArray)> &take);

    UDP &m_udp;
    std::function<void(const std::function<void()> &)> m_run;
    QComboBox *m_lists = nullptr;
    QVBoxLayout *m_commands = nullptr;
    QPushButton *m_stop = nullptr;
    QList<QPushButton *> m_buttons;
};
