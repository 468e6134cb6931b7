// SPDX-License-Identifier: MIT
// The saved command lists: their file beside "terminal.ini", the side panel's state, and the user's changes.
#include "app/charset.h"
#include "app/window.h"

#include "platform/commondialog.h"

#include <QScopeGuard>

#include <algorithm>

namespace
{
const QString kListsFile = QStringLiteral("terminal-commands.txt");
const QString kPanelFile = QStringLiteral("terminal-panel.txt");
constexpr char kListsFilter[] = "Command lists (*.txt)|*.txt|All files (*.*)|*.*";
constexpr char kPanelHeader[] = "vantrel-panel 1";
/// Far more than anyone types; a bigger file is not one of ours.
constexpr qint64 kMaxListsBytes = 16 * 1024 * 1024;

/// The whole of a file, through the file table.
QByteArray readWhole(FileTable &files, const QString &path)
{
    qint16 n = files.FreeFile();
    files.openInput(n, path);
    const auto closed = qScopeGuard([&] { files.release(n); });
    if (files.lof(n) > kMaxListsBytes)
        throw Failure(
            Err::InvalidFileFormat,
            QStringLiteral("%1: larger than %2 MiB, not a command lists file").arg(path).arg(kMaxListsBytes >> 20));
    return files.readAll(n);
}

/// The file replaced whole: the new bytes go into a file beside it, which then takes its place, so that a crash
/// or a full disk leaves the old file as it was.
void writeWhole(FileTable &files, const QString &path, const QByteArray &bytes)
{
    qint16 n = files.FreeFile();
    try {
        files.openAtomic(n, path);
        files.print(n, bytes);
        files.commit(n);
    } catch (const Failure &) {
        files.release(n);
        throw;
    }
}

/// The lists a file holds; a file that is not one, or has a line that cannot be taken, fails naming the line.
QList<CommandList> readLists(FileTable &files, const QString &path)
{
    const CommandFile::Read read = CommandFile::read(readWhole(files, path));
    if (read.line > 0)
        throw Failure(Err::InvalidFileFormat, QStringLiteral("%1, %2").arg(path, read.error));
    return read.lists;
}

/// The file the user chooses for importing or exporting lists; empty when the dialog was cancelled, which needs no
/// word: nothing was under way.
QString chooseListsFile(CommonDialog &dialog, bool save)
{
    dialog.setFilter(QString::fromLatin1(kListsFilter));
    save ? dialog.showSave() : dialog.showOpen();
    return dialog.cancelled() ? QString() : dialog.fileName();
}

/// Why a list cannot be named so; empty when it can.
QString listNameProblem(const QList<CommandList> &lists, const QByteArray &name, int except)
{
    if (const QString why = CommandFile::checkName(name); !why.isEmpty())
        return why;
    for (int i = 0; i < lists.size(); ++i)
        if (i != except && lists[i].name == name)
            return QStringLiteral("there is a list \"%1\" already").arg(Charset::decode(name));
    return {};
}
} // namespace

void UDP::loadCommandLists()
{
    m_commandLists.clear();
    m_listsRefused.clear();
    try {
        m_commandLists = readLists(files, kListsFile);
    } catch (const Failure &failure) {
        // No file yet is no list yet. One that cannot be read or taken is told, and kept from being written over.
        if (failure.number() != int(Err::FileNotFound)) {
            m_listsRefused = failure.description();
            showFailure(failure);
        }
    }
    m_currentList = m_commandLists.isEmpty() ? -1 : 0;
    // The panel's state is the view's own: a file that cannot be read leaves the panel hidden on the first list.
    try {
        const QList<QByteArray> lines = readWhole(files, kPanelFile).split('\n');
        if (lines.value(0).trimmed() == kPanelHeader) {
            for (const QByteArray &line : lines) {
                m_panelShown = m_panelShown || line.trimmed() == "shown: yes";
                const QByteArray list = line.trimmed().startsWith("list: ") ? line.trimmed().mid(6) : QByteArray();
                for (int i = 0; i < m_commandLists.size(); ++i)
                    if (!list.isEmpty() && m_commandLists[i].name == list)
                        m_currentList = i;
            }
        }
    } catch (const Failure &) {
    }
    commandsChanged();
}

void UDP::saveCommandLists()
{
    if (!m_listsRefused.isEmpty()) {
        refuse(Why::ListsRefused, Charset::encode(m_listsRefused));
        return;
    }
    try {
        writeWhole(files, kListsFile, CommandFile::write(m_commandLists));
    } catch (const Failure &failure) {
        showFailure(failure);
    }
}

void UDP::savePanelState()
{
    QByteArray state = QByteArray(kPanelHeader) + CRLF + "shown: " + (m_panelShown ? "yes" : "no") + CRLF;
    if (m_currentList >= 0)
        state += "list: " + m_commandLists[m_currentList].name + CRLF;
    try {
        writeWhole(files, kPanelFile, state);
    } catch (const Failure &) {
        // Only where the panel stood is lost: not worth a box at every Ctrl+L on a read-only folder.
    }
}

void UDP::listsChanged()
{
    saveCommandLists();
    savePanelState();
    commandsChanged();
}

void UDP::commandsChanged()
{
    if (ElementObserver *view = observer())
        view->commandsChanged();
}

void UDP::CommandPanel_Toggle()
{
    m_panelShown = !m_panelShown;
    savePanelState();
    commandsChanged();
}

void UDP::CommandList_Change(int list)
{
    if (list < 0 || list >= m_commandLists.size())
        return;
    m_currentList = list;
    savePanelState();
    commandsChanged();
}

QString UDP::CommandEdit_Save(int index, const QByteArray &name, const QByteArray &escapedText, bool lineEnd,
                              int repeatMs)
{
    if (m_currentList < 0)
        return QStringLiteral("make a list first");
    QString why;
    const std::optional<QByteArray> text = CommandFile::unescape(escapedText, &why);
    if (!text)
        return why;
    const SavedCommand command{name.trimmed(), *text, lineEnd, repeatMs};
    if (why = CommandFile::check(command); !why.isEmpty())
        return why;
    QList<SavedCommand> &commands = m_commandLists[m_currentList].commands;
    for (int i = 0; i < commands.size(); ++i)
        if (i != index && commands[i].name == command.name)
            return QStringLiteral("there is a command \"%1\" in the list already").arg(Charset::decode(command.name));
    if (index >= 0 && index < commands.size())
        commands[index] = command;
    else
        commands.append(command);
    saveCommandLists();
    commandsChanged();
    return {};
}

void UDP::CommandEdit_Delete(int index)
{
    if (m_currentList < 0 || index < 0 || index >= m_commandLists[m_currentList].commands.size())
        return;
    m_commandLists[m_currentList].commands.removeAt(index);
    saveCommandLists();
    commandsChanged();
}

QString UDP::CommandList_Add(const QByteArray &name)
{
    if (const QString why = listNameProblem(m_commandLists, name.trimmed(), -1); !why.isEmpty())
        return why;
    m_commandLists.append({name.trimmed(), {}});
    m_currentList = int(m_commandLists.size() - 1);
    listsChanged();
    return {};
}

QString UDP::CommandList_Rename(const QByteArray &name)
{
    if (m_currentList < 0)
        return QStringLiteral("no list to rename");
    if (const QString why = listNameProblem(m_commandLists, name.trimmed(), m_currentList); !why.isEmpty())
        return why;
    m_commandLists[m_currentList].name = name.trimmed();
    listsChanged();
    return {};
}

void UDP::CommandList_Delete()
{
    if (m_currentList < 0)
        return;
    m_commandLists.removeAt(m_currentList);
    m_currentList = std::min(m_currentList, int(m_commandLists.size()) - 1);
    listsChanged();
}

void UDP::CommandImport_Click()
{
    const QString name = chooseListsFile(CommonDialog1, false);
    if (name.isEmpty())
        return;
    try {
        const QList<CommandList> imported = readLists(files, name);
        for (const CommandList &list : imported) {
            const auto same = std::ranges::find(m_commandLists, list.name, &CommandList::name);
            if (same != m_commandLists.end())
                *same = list;
            else
                m_commandLists.append(list);
        }
        if (!imported.isEmpty())
            m_currentList =
                int(std::ranges::find(m_commandLists, imported[0].name, &CommandList::name) - m_commandLists.begin());
    } catch (const Failure &failure) {
        showFailure(failure);
        return;
    }
    listsChanged();
}

void UDP::CommandExport_Click()
{
    const QString name = chooseListsFile(CommonDialog1, true);
    if (name.isEmpty())
        return;
    try {
        writeWhole(files, name, CommandFile::write(m_commandLists));
    } catch (const Failure &failure) {
        showFailure(failure);
    }
}

void UDP::offerCommandList(const CommandList &list)
{
    if (std::ranges::find(m_commandLists, list.name, &CommandList::name) != m_commandLists.end())
        return;
    m_commandLists.append(list);
    if (m_currentList < 0)
        m_currentList = 0;
    commandsChanged();
}
