// SPDX-License-Identifier: MIT
// A saved command goes out as the command line sends a typed one: the same handler, echo, log, wrapping and history.
#include "app/window.h"

#include "platform/mscomm.h"
#include "platform/winsock.h"

#include <QScopeGuard>

void UDP::SavedCommand_Click(int index)
{
    clearRefusal();
    const QList<SavedCommand> none;
    const QList<SavedCommand> &commands = m_currentList >= 0 ? m_commandLists[m_currentList].commands : none;
    if (index < 0 || index >= commands.size()) {
        refuse(Why::NoSavedCommand, "F" + QByteArray::number(index + 1));
        return;
    }
    const SavedCommand command = commands[index];
    if (sendSavedCommand(command) && command.repeatMs > 0) {
        m_repeating = command;
        TMRRepeat.setInterval(command.repeatMs);
        TMRRepeat.setEnabled(true);
        commandsChanged();
    }
    reportLogFailure();
}

bool UDP::sendSavedCommand(const SavedCommand &command)
{
    // Refused before anything changes: the command line, the history and the pane stay as they are. A command
    // going out in the middle of a transfer would take the reply that the transfer waits for.
    if (FlashWriting == 1 || FlashReading == 1 || ProgDownloadMode == 1 || ProgSaveMode == 1) {
        refuse(Why::TransferUnderWay);
        return false;
    }
    if (m_deviceGone) {
        refuse(Why::DeviceGone, m_goneBox);
        return false;
    }
    if (Winsock1.state() != 1 && !MSComm1.portOpen()) {
        refuse(Why::NotConnected);
        return false;
    }
    // What the user was typing comes back once the command is out, or refused by its link.
    const QByteArray typed = tbSendData.Text();
    const qint32 caret = tbSendData.SelStart();
    const auto restore = qScopeGuard([&] {
        m_bareLine = false;
        tbSendData.setText(typed);
        tbSendData.setSelStart(caret);
    });
    HistRecalled = 0;
    m_bareLine = !command.lineEnd;
    tbSendData.setText(command.text);
    qint16 enter = 13;
    tbSendData_KeyPress(enter);
    return !m_sendFailure;
}

void UDP::TMRRepeat_Timer()
{
    // Every send restarts the serial poll, so that it comes a full interval later: a repeat as frequent as the poll
    // would put it off for ever, and the replies would pile up unread. Such a repeat gives the poll its turn first.
    if (m_repeating && m_repeating->repeatMs <= TMRComm.Interval() && TMRComm.Enabled())
        TMRComm_Timer();
    // A repeat that cannot go out any more (the link went down, a transfer started) stops; the status line says why.
    if (!m_repeating || !sendSavedCommand(*m_repeating))
        StopRepeat_Click();
    reportLogFailure();
}

void UDP::StopRepeat_Click()
{
    m_repeating.reset();
    TMRRepeat.setEnabled(false);
    commandsChanged();
}
