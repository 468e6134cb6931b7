// SPDX-License-Identifier: MIT
// Owns the settings files: the address list in terminal.ini (what a start reads, Add, Del and Save, a Save that fails)
// and the saved command lists (their file, the user's changes to them, a crash while they are saved).
#include "harness.h"
#include "mounts.h"

#include <QTest>

#include <numeric>

#include <optional>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace
{
constexpr char kHeader[] = "vantrel-commands 1\r\n";
const QString kListsFile = QStringLiteral("terminal-commands.txt");

/// One list "L" of the commands, each as the file writes it: "command: NAME", "text: ..." and the rest.
QByteArray listsFile(const QByteArrayList &commands)
{
    return kHeader + QByteArray("\r\nlist: L\r\n") + commands.join();
}
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void load_data()
    {
        QTest::addColumn<QByteArray>("ini"); // null: no file at all; "FIFO": a FIFO in its place
        QTest::addColumn<QByteArray>("entries");
        const auto row = [](const char *name, const QByteArray &ini, const QByteArray &entries) {
            QTest::newRow(name) << ini << entries;
        };
        row("no file", {}, kDefaultAddress);
        row("empty file", "", kDefaultAddress);
        // Opening a FIFO would wait for a writer, for ever if none comes: a start that did would hang this test
        // until CTest's time limit ends it.
        row("a FIFO", "FIFO", kDefaultAddress);
        row("blank lines only", "\r\n\r\n  \r\n", kDefaultAddress);
        row("two lines", "10.0.0.7\r\n10.0.0.8\r\n", "10.0.0.7 10.0.0.8");
        row("comma on one line", "10.0.0.7,10.0.0.8\r\n", "10.0.0.7 10.0.0.8");
        row("leading blanks, empty entries, no last line end", "   10.0.0.7\r\n,,\r\n\t10.0.0.9", "10.0.0.7 10.0.0.9");
        row("quoted keeps commas", "\"a,b\"\r\n10.0.0.8\n", "a,b 10.0.0.8");
        row("only the first MiB is read", "10.0.0.7" + QByteArray(1024 * 1024, '\n') + "10.0.0.9\r\n", "10.0.0.7");
    }
    void load()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QByteArray, entries);
        Harness h;
        std::optional<TestFifo> fifo;
        if (ini == "FIFO")
            fifo.emplace(h.dir.filePath(QStringLiteral("terminal.ini")));
        else if (!ini.isNull())
            QVERIFY(h.writeFile(QStringLiteral("terminal.ini"), ini));
        if (fifo && !fifo->ok())
            QSKIP("cannot make a FIFO in the temporary folder");
        if (fifo && fifo->path() != h.dir.filePath(QStringLiteral("terminal.ini")))
            QSKIP(kNoFifoInFolders);
        h.udp.Form_Load();
        QCOMPARE(h.udp.ComboRemoteIP.items(), entries.split(' '));
        QCOMPARE(h.udp.ComboRemoteIP.Text(), entries.split(' ').first());
        QVERIFY(h.boxes.boxes.isEmpty());
    }

    void addDelSave()
    {
        Harness h;
        UDP &w = h.udp;
        ComboBox &list = w.ComboRemoteIP;
        w.Form_Load();
        for (const char *typed : {"10.0.0.7", "10.0.0.7", "10.0.0.9", ""}) {
            list.setText(typed);
            w.Add_ip.Click();
        }
        // Del removes the entry selected, whichever it is; with none selected it removes nothing and says why.
        const auto del = [&](int index) { return list.setListIndex(index), w.Del_ip.Click(), w.statusReason(); };
        const QString notInList = QStringLiteral("the address shown is not in the list: nothing to delete");
        list.setText("typed, not listed");
        QCOMPARE(del(-1), notInList);
        w.Command2.SetFocus();
        QCOMPARE(del(0), QString()); // the factory address, first in the list
        QCOMPARE(w.focus(), &w.tbSendData);
        QCOMPARE(del(3), notInList); // past the last entry nothing is selected
        QCOMPARE(list.items(), (QByteArrayList{"10.0.0.7", "10.0.0.7", "10.0.0.9"}));
        QVERIFY(!QFile::exists(h.dir.filePath(QStringLiteral("terminal.ini")))); // Add and Del do not save
        w.Command2.SetFocus();
        w.SaveIP.Click();
        QCOMPARE(w.focus(), &w.Command2);
        QCOMPARE(h.file(QStringLiteral("terminal.ini")), QByteArray("10.0.0.7\r\n10.0.0.7\r\n10.0.0.9\r\n"));
        // Emptied, the list has nothing to select: Del says so, and Save writes an empty file.
        while (list.ListCount())
            del(0);
        QCOMPARE(del(0), notInList);
        w.SaveIP.Click();
        QCOMPARE(h.file(QStringLiteral("terminal.ini")), QByteArray(""));
    }

    void commandFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("refused");    // "line N: why"; empty when the file is taken
        QTest::addColumn<QByteArray>("text");    // the bytes of its first command
        QTest::addColumn<QByteArray>("written"); // the file as the lists are written back
        const QByteArray version = "command: Version\r\ntext: VER\r\n";
        QByteArray every(256, 0);
        std::iota(every.begin(), every.end(), char(0));
        const QByteArray everyEscaped =
            "\\x00\\x01\\x02\\x03\\x04\\x05\\x06\\x07\\x08\\t\\n\\x0B\\x0C\\r\\x0E\\x0F\\x10"
            "\\x11\\x12\\x13\\x14\\x15\\x16\\x17\\x18\\x19\\x1A\\x1B\\x1C\\x1D\\x1E\\x1F " +
            every.mid(33, 59) + "\\\\" + every.mid(93, 34) + "\\x7F" + every.mid(128);
        QTest::newRow("every byte, and back")
            << listsFile({"command: All\r\ntext: " + everyEscaped + "\r\n"}) << QString() << every
            << listsFile({"command: All\r\ntext: " + everyEscaped + "\r\n"});
        // Hand-written: LF line ends, comments, blank lines, lower-case hex, no blank after a colon.
        QTest::newRow("escapes by hand") << QByteArray(
                                                "vantrel-commands 1\n# mine\n\nlist:L\ncommand:\xCA\ntext:A\\r\\n\\t"
                                                "\\\\\\x02\\x7f\nline-end: no\nrepeat-ms: 250\n")
                                         << QString() << QByteArray("A\r\n\t\\\x02\x7F")
                                         << listsFile({"command: \xCA\r\ntext: A\\r\\n\\t\\\\\\x02\\x7F\r\n"
                                                       "line-end: no\r\nrepeat-ms: 250\r\n"});
        // A blank after the colon belongs to the key; any further one, and one at the end, to the text.
        QTest::newRow("blanks at the ends")
            << listsFile({"command: B\r\ntext:  VER \r\n"}) << QString() << QByteArray(" VER ")
            << listsFile({"command: B\r\ntext: \\x20VER\\x20\r\n"});
        const auto bad = [&](const char *row, const QByteArray &file, const QString &refused) {
            QTest::newRow(row) << file << refused << QByteArray() << QByteArray();
        };
        bad("another file", "[Settings]\r\nhost=1\r\n", "line 1: not a command lists file");
        bad("an escape that is none", listsFile({version, "command: X\r\ntext: A\\qB\r\n"}), "line 7: \"\\q\" is no");
        bad("\\x with one digit", listsFile({"command: X\r\ntext: \\x4\r\n"}), "line 5: \"\\x4\" is no");
        bad("a key of no list file", listsFile({version, "colour: red\r\n"}), "line 6: unknown key \"colour\"");
        bad("a command before any list", kHeader + version, "line 2: a command before any list");
        bad("a text outside a command", kHeader + QByteArray("list: L\r\ntext: VER\r\n"), "line 3: \"text:\" outside");
        bad("a second text", listsFile({version, "text: VER\r\n"}), "line 6: a second \"text:\"");
        bad("a command without its text", listsFile({"command: X\r\n", version}),
            "line 4: the command has no \"text:\"");
        bad("two commands of one name", listsFile({version, version}), "line 6: a second command \"Version\"");
        bad("a repeat too fast", listsFile({version, "repeat-ms: 5\r\n"}), "line 4: repeat-ms is 0 (no repeat) or 10");
        bad("line-end neither yes nor no", listsFile({version, "line-end: off\r\n"}), "line 6: line-end is");
    }
    void commandFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, refused);
        const CommandFile::Read read = CommandFile::read(file);
        QVERIFY2(read.error.startsWith(refused) && read.error.isEmpty() == refused.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.line, refused.isEmpty() ? 0 : refused.section(QLatin1Char(' '), 1, 1).chopped(1).toInt());
        if (!refused.isEmpty()) {
            QVERIFY(read.lists.isEmpty()); // never half-loaded
            return;
        }
        QTEST(read.lists.value(0).commands.value(0).text, "text");
        const QByteArray written = CommandFile::write(read.lists);
        QTEST(written, "written");
        QCOMPARE(CommandFile::read(written).lists, read.lists);
    }

    void commandLists()
    {
        Harness h;
        UDP &w = h.udp;
        w.loadCommandLists(); // no file yet: no list, no box
        QCOMPARE(w.CommandEdit_Save(0, "Version", "VER", true, 0), QStringLiteral("make a list first"));
        QCOMPARE(w.CommandList_Add("Counter"), QString());
        QCOMPARE(w.CommandList_Add(" Counter "), QStringLiteral("there is a list \"Counter\" already"));
        QCOMPARE(w.CommandEdit_Save(9, "Version", "VER", true, 0), QString());
        QCOMPARE(w.CommandEdit_Save(9, "Pulses", "CNT?\\x1F", false, 1000), QString());
        QCOMPARE(w.CommandEdit_Save(1, "Version", "X", true, 0),
                 QStringLiteral("there is a command \"Version\" in the list already"));
        QCOMPARE(w.CommandEdit_Save(1, "Pulses", "\\q", true, 0).left(10), QStringLiteral("\"\\q\" is no"));
        QCOMPARE(w.CommandEdit_Save(0, "Ver", "VER", true, 3),
                 QStringLiteral("repeat-ms is 0 (no repeat) or 10 to 86400000 ms, not 3"));
        QCOMPARE(w.CommandEdit_Save(0, "Ver\n2", "VER", true, 0).left(14), QStringLiteral("a name is one "));
        QCOMPARE(w.CommandList_Add("Job"), QString());
        QCOMPARE(w.CommandList_Rename("Jobs"), QString());
        w.CommandPanel_Toggle();
        const QByteArray saved = h.file(kListsFile);
        QCOMPARE(saved,
                 kHeader + QByteArray("\r\nlist: Counter\r\ncommand: Version\r\ntext: VER\r\ncommand: Pulses\r\n"
                                      "text: CNT?\\x1F\r\nline-end: no\r\nrepeat-ms: 1000\r\n\r\nlist: Jobs\r\n"));

        // The next start finds the lists, the panel shown on the list it showed.
        Harness next;
        QVERIFY(next.writeFile(kListsFile, saved));
        QVERIFY(next.writeFile(QStringLiteral("terminal-panel.txt"), h.file(QStringLiteral("terminal-panel.txt"))));
        next.udp.loadCommandLists();
        QCOMPARE(next.udp.commandLists(), w.commandLists());
        QCOMPARE(std::pair(next.udp.currentList(), next.udp.commandPanelShown()), std::pair(1, true));
        // Exported, and imported beside a list of the same name, which it replaces.
        h.dialog.answer = h.dir.filePath(QStringLiteral("export.txt"));
        w.CommandExport_Click();
        QCOMPARE(h.file(QStringLiteral("export.txt")), saved);
        next.udp.CommandList_Change(0);
        next.udp.CommandEdit_Delete(0);
        QVERIFY(next.udp.commandLists() != w.commandLists());
        next.dialog.answer = h.dialog.answer;
        next.udp.CommandImport_Click();
        QCOMPARE(next.udp.commandLists(), w.commandLists());
        QCOMPARE(next.file(kListsFile), saved);

        // A file that cannot be taken is refused whole, named with its line, and never written over.
        Harness broken;
        const QByteArray bad = saved + "colour: red\r\n";
        QVERIFY(broken.writeFile(kListsFile, bad));
        broken.udp.loadCommandLists();
        QCOMPARE(broken.boxes.lines(),
                 QStringList{QStringLiteral("Error#321: terminal-commands.txt, line 12: unknown key \"colour\"")});
        QCOMPARE(broken.udp.commandLists(), QList<CommandList>());
        QCOMPARE(broken.udp.CommandList_Add("New"), QString());
        QVERIFY(broken.udp.statusReason().startsWith(QStringLiteral("the command lists file was refused at start")));
        QCOMPARE(broken.file(kListsFile), bad);
        // Nor is an import of it half taken.
        broken.dialog.answer = broken.dir.filePath(kListsFile);
        broken.udp.CommandImport_Click();
        QCOMPARE(broken.udp.commandLists().size(), 1);
        QCOMPARE(broken.boxes.boxes.size(), 2);
    }

    void crashWhileSaving()
    {
        // A child saves two large lists by turns until it is killed, in the middle of writing one, or between the
        // writing and the renaming: the file holds one of the two whole, never a part.
#ifndef Q_OS_UNIX
        QSKIP("the saving child is a fork of this test, killed with SIGKILL: that needs fork");
#else
        Harness h;
        const QByteArray first(2 << 20, 'a'), second(3 << 20, 'b');
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            h.udp.CommandList_Add("L");
            for (int i = 0;; ++i) {
                h.udp.CommandEdit_Save(0, "Big", i % 2 ? second : first, true, 0);
                if (i == 0 && ::write(ready[1], "x", 1) != 1)
                    ::_exit(1);
            }
        }
        char x = 0;
        QCOMPARE(::read(ready[0], &x, 1), ssize_t(1));
        ::kill(child, SIGKILL);
        QCOMPARE(::waitpid(child, nullptr, 0), child);
        ::close(ready[0]);
        ::close(ready[1]);
        h.udp.loadCommandLists();
        QCOMPARE(h.boxes.boxes.size(), 0);
        const QByteArray text = h.udp.commandLists().value(0).commands.value(0).text;
        QVERIFY(text == first || text == second);
#endif
    }

    void saveFails_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("read-only file") << false;
        QTest::newRow("a folder in its place") << true;
    }
    void saveFails()
    {
        QFETCH(bool, folder);
        Harness h;
        const QString ini = h.dir.filePath(QStringLiteral("terminal.ini"));
        // Mode bits stop nobody when the tests run as root: the file is seen through a read-only mount.
        std::optional<TestMount> readOnly;
        if (folder)
            QVERIFY(QDir().mkdir(ini));
        else if (!h.writeFile(QStringLiteral("terminal.ini"), "10.0.0.7\r\n") || !readOnly.emplace(ini, ini).ok())
            QSKIP(qPrintable(readOnly ? readOnly->error() : QStringLiteral("cannot write terminal.ini")));
        h.udp.Form_Load();
        // Twice: a failed Save leaves no file number taken.
        for (int box = 1; box <= 2; ++box) {
            h.udp.Command2.SetFocus();
            h.udp.SaveIP.Click();
            QCOMPARE(h.boxes.boxes.size(), box);
            QCOMPARE(h.boxes.boxes.last().icon, MessageBox::Critical);
            QCOMPARE(h.boxes.boxes.last().title, folder ? QStringLiteral("Error#75") : QStringLiteral("Error#70"));
            QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
