// SPDX-License-Identifier: MIT
#include "verbs.h"

#include "headless.h"
#include "options.h"
#include "output.h"
#include "runner.h"

#include "app/charset.h"
#include "app/window.h"
#include "monitor/decode.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>

namespace
{
using Outcome = Runner::Outcome;

/// A read from the flash disk brings 20 bytes with each data reply.
constexpr qint64 kReadBlock = 20;

Exit fail(Session &s, Exit code, const QString &error)
{
    s.report.error = error;
    return code;
}

/// The run ends as the wait ended: a box already told its failure on stderr.
Exit failWait(Session &s, Outcome outcome, const QString &awaited)
{
    switch (outcome) {
    case Outcome::Failed:
        s.report.errorShown = true;
        return fail(s, s.boxes.lastNumber() ? ExitCode::forFailure(s.boxes.lastNumber()) : Exit::LocalFile,
                    s.boxes.lastBox());
    case Outcome::Silent:
        return fail(s, Exit::NoReply,
                    QStringLiteral("no reply to %1 within %2 s").arg(awaited).arg(s.options.timeoutMs / 1000.0));
    case Outcome::Interrupted:
        return fail(s, Exit::Interrupted, QStringLiteral("interrupted"));
    case Outcome::Done:
        break;
    }
    return Exit::Done;
}

/// The hooks a verb sets refer to its own variables: declared after them, this takes the hooks away first.
struct Hooks {
    Runner &runner;
    ~Hooks()
    {
        runner.paneHook = nullptr;
        runner.changedHook = nullptr;
    }
};

/// The device's console text: kept for the report, and printed as it comes when `print`.
void collect(Session &s, QByteArray &text, bool print)
{
    s.runner.paneHook = [&s, &text, print](const QByteArray &bytes, bool fromDevice) {
        if (!fromDevice)
            return;
        text += bytes;
        s.report.reply += bytes;
        if (print && !s.options.json)
            Output::reply(bytes);
    };
}

/// A console reply the device ended with a line: "ERROR" anywhere in it is the device refusing.
Exit judgeReply(Session &s, const QByteArray &reply, const QString &command)
{
    if (reply.contains("ERROR"))
        return fail(s, Exit::DeviceError,
                    QStringLiteral("the device answered %1 with: %2").arg(command, Charset::decode(reply.trimmed())));
    return Exit::Done;
}

Exit connectUdp(Session &s)
{
    UDP &w = s.udp;
    s.runner.type(w.ComboRemoteIP, Charset::encode(s.options.host));
    // The system picks a free local port, so that runs side by side never share one.
    s.runner.type(w.tbLocalPort, "0");
    s.runner.click(w.cbBind);
    if (w.cbBind.Enabled())
        return fail(s, Exit::Link, w.statusReason());
    if (!s.options.mdc.isEmpty()) {
        s.runner.type(w.Text4, Charset::encode(s.options.mdc));
        s.runner.check(w.Check2, true);
    }
    return Exit::Done;
}

Exit openSerial(Session &s)
{
    UDP &w = s.udp;
    QString port = s.options.serial.toUpper();
    if (!Options::isPortName(s.options.serial)) {
        // A device path is reached as the tests reach a pseudo-terminal: a port number that stands for it.
        int n = 1;
        while (qEnvironmentVariableIsSet(qPrintable(QStringLiteral("VANTREL_COM%1").arg(n))))
            ++n;
        qputenv(qPrintable(QStringLiteral("VANTREL_COM%1").arg(n)), QFile::encodeName(s.options.serial));
        port = QStringLiteral("COM%1").arg(n);
    }
    const std::pair<int, OptionButton *> speeds[] = {{1200, &w.Option1}, {2400, &w.Option2},  {4800, &w.Option3},
                                                     {9600, &w.Option4}, {19200, &w.Option5}, {115200, &w.Option6}};
    for (const auto &[speed, option] : speeds)
        if (speed == s.options.speed)
            s.runner.check(*option, true);
    s.runner.type(w.Comm_number, port.toLatin1());
    w.setDeviceWait(s.options.deviceWaitMs);
    s.runner.click(w.BTNOpenCom);
    if (w.BTNOpenCom.Caption() != "Close") {
        if (!w.statusReason().isEmpty())
            return fail(s, Exit::Link, w.statusReason());
        // The box that names the port and why it did not open is on stderr already.
        s.report.errorShown = s.boxes.count() > 0;
        return fail(s, Exit::Link, s.report.errorShown ? s.boxes.lastBox() : QStringLiteral("the port did not open"));
    }
    if (s.options.framing != Options::Framing::Plain) {
        s.runner.type(w.Text3, Charset::encode(s.options.station));
        s.runner.check(w.Check3, s.options.framing == Options::Framing::ViaUsb);
        s.runner.check(w.Check1, true);
    }
    return Exit::Done;
}

/// Clicks the button that sends `command` and waits for the device's one-line reply, printed when `print`.
Exit oneLineReply(Session &s, Element &button, const QString &command, bool print)
{
    QByteArray text;
    const Hooks hooks{s.runner};
    collect(s, text, print);
    s.runner.click(button);
    const Outcome outcome = s.runner.wait([&] { return text.contains('\n'); }, s.options.timeoutMs);
    if (outcome != Outcome::Done)
        return failWait(s, outcome, command);
    return judgeReply(s, text, command);
}

Exit ver(Session &s)
{
    return oneLineReply(s, s.udp.Command13, QStringLiteral("VER"), true);
}

/// The saved command `name` ("LIST/NAME", or a NAME that one list alone holds) of the lists file.
Exit savedCommand(Session &s, const QString &name, SavedCommand *command)
{
    QFile file(s.options.listFile);
    if (!file.open(QIODevice::ReadOnly))
        return fail(s, Exit::LocalFile, QStringLiteral("%1: %2").arg(s.options.listFile, file.errorString()));
    const CommandFile::Read read = CommandFile::read(file.readAll());
    if (read.line > 0)
        return fail(s, Exit::LocalFile, QStringLiteral("%1, %2").arg(s.options.listFile, read.error));
    QStringList lists;
    for (const CommandList &list : read.lists)
        for (const SavedCommand &saved : list.commands)
            if (Charset::decode(saved.name) == name || Charset::decode(list.name + '/' + saved.name) == name) {
                *command = saved;
                lists << Charset::decode(list.name);
            }
    if (lists.isEmpty())
        return fail(s, Exit::Usage, QStringLiteral("%1 holds no saved command %2").arg(s.options.listFile, name));
    if (lists.size() > 1)
        return fail(s, Exit::Usage,
                    QStringLiteral("the lists %1 each hold a command %2: give LIST/%2").arg(lists.join(", "), name));
    return Exit::Done;
}

Exit send(Session &s)
{
    UDP &w = s.udp;
    for (const QString &line : s.options.texts) {
        // A device that went away is waited for, as long as --wait-for-device says.
        if (const Outcome back = s.runner.wait([&] { return !w.waitingForDevice(); }, s.options.timeoutMs);
            back != Outcome::Done)
            return failWait(s, back, line);
        SavedCommand saved;
        if (!s.options.listFile.isEmpty())
            if (const Exit found = savedCommand(s, line, &saved); found != Exit::Done)
                return found;
        QByteArray text;
        const Hooks hooks{s.runner};
        collect(s, text, true);
        if (s.options.listFile.isEmpty())
            s.runner.enter(Charset::encode(line));
        else if (!s.runner.send(saved))
            return fail(s, Exit::Link, w.statusReason());
        if (const Outcome first = s.runner.wait([&] { return !text.isEmpty(); }, s.options.timeoutMs);
            first != Outcome::Done)
            return failWait(s, first, line);
        // The reply is over once the device has been quiet for a while.
        if (const Outcome rest = s.runner.wait([] { return false; }, s.options.quietMs); rest != Outcome::Silent)
            return failWait(s, rest, line);
        if (const Exit refused = judgeReply(s, text, line); refused != Exit::Done)
            return refused;
    }
    return Exit::Done;
}

/// Waits for the transfer that `start` begins to end, then for the device's answer to the CLOSE that ends it. The
/// bar shows "OK" or "ERROR" at the end; the command line shows each command as it goes out.
Exit transfer(Session &s, Element &start)
{
    UDP &w = s.udp;
    QByteArray closed;  // the answer to CLOSE: console text once the transfer is over
    QByteArray step;    // the last command but CLOSE: the one a refusal answers
    bool ended = false; // the device's refusal goes to the pane before the bar says so: it is not the answer
    const auto showProgress = s.runner.changedHook;
    const Hooks hooks{s.runner};
    s.runner.paneHook = [&](const QByteArray &bytes, bool fromDevice) {
        if (fromDevice && ended)
            closed += bytes;
    };
    const QByteArray &bar = w.vbalProgressBar1.Text();
    s.runner.changedHook = [&](Element &element, Prop prop) {
        if (&element == &w.tbSendData && prop == Prop::Text && w.tbSendData.Text() != "CLOSE")
            step = w.tbSendData.Text();
        if (&element == &w.vbalProgressBar1 && prop == Prop::Text)
            ended = bar == "OK" || bar == "ERROR";
        if (showProgress)
            showProgress(element, prop);
    };
    s.runner.click(start);
    const Outcome outcome = s.runner.wait([&] { return ended; }, s.options.timeoutMs);
    const QString command = Charset::decode(step.left(step.startsWith("WRITE") ? 5 : step.size()));
    if (outcome != Outcome::Done) {
        // End, as the user would press it, unless the transfer ended itself (a local file it could not write) or never
        // started (a local file missing, another terminal's transfer to the device): the device closes its file, and
        // a read that did not reach its end leaves the local file as it was.
        if (!ended && (w.FlashWriting == 1 || w.FlashReading == 1))
            s.runner.click(w.Command5);
        return failWait(s, outcome, command);
    }
    const bool refused = bar == "ERROR";
    // The flash disk is reached by datagrams, each one whole reply.
    const Outcome close = s.runner.wait([&] { return !closed.isEmpty(); }, s.options.timeoutMs);
    if (refused)
        return fail(s, Exit::DeviceError, QStringLiteral("the device refused %1").arg(command));
    return close == Outcome::Done ? Exit::Done : failWait(s, close, QStringLiteral("CLOSE"));
}

Exit get(Session &s, const QString &local, const char *what)
{
    UDP &w = s.udp;
    s.runner.type(w.Text2, Charset::encode(s.options.name));
    s.dialog.answer(local);
    Progress progress(QLatin1String(what), QStringLiteral("bytes"), 100 * 1024);
    qint64 blocks = 0;
    s.runner.changedHook = [&](Element &element, Prop prop) {
        // Each data reply moves the bar on by one, modulo 100.
        if (&element == &w.vbalProgressBar1 && prop == Prop::Value && w.vbalProgressBar1.Text() == "READ" &&
            !s.runner.acting())
            progress.update(++blocks * kReadBlock);
    };
    const Exit read = transfer(s, w.Command4);
    // The last reply carries what is left of the file, 1 to 20 bytes: the whole is known only now.
    if (read == Exit::Done)
        progress.update(QFileInfo(local).size());
    progress.finish();
    return read;
}

Exit put(Session &s)
{
    UDP &w = s.udp;
    s.runner.type(w.Text2, Charset::encode(s.options.name));
    s.dialog.answer(s.options.local);
    QFile local(s.options.local);
    const QByteArray original = s.options.verify && local.open(QIODevice::ReadOnly) ? local.readAll() : QByteArray();
    Progress progress(QStringLiteral("put"), QStringLiteral("bytes"), 0);
    s.runner.changedHook = [&](Element &element, Prop prop) {
        // The bar's Value is the next byte to send.
        if (&element == &w.vbalProgressBar1 && prop == Prop::Value && w.vbalProgressBar1.Text() == "SEND") {
            progress.setTotal(w.vbalProgressBar1.Max());
            progress.update(w.vbalProgressBar1.Value() - 1);
        }
    };
    const Exit written = transfer(s, w.Command3);
    progress.finish();
    if (written != Exit::Done || !s.options.verify)
        return written;
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("verify"));
    if (!folder.isValid())
        return fail(s, Exit::LocalFile, QStringLiteral("verify: no temporary folder: %1").arg(folder.errorString()));
    if (const Exit read = get(s, copy, "verify"); read != Exit::Done)
        return read;
    QFile back(copy);
    const QByteArray readBack = back.open(QIODevice::ReadOnly) ? back.readAll() : QByteArray();
    if (const auto differ = std::mismatch(original.begin(), original.end(), readBack.begin(), readBack.end());
        differ.first != original.end() || differ.second != readBack.end())
        return fail(s, Exit::DeviceError,
                    QStringLiteral("verify: the flash disk's %1 differs from %2 from byte %3 on (%4 bytes, not %5)")
                        .arg(s.options.name, s.options.local)
                        .arg(differ.first - original.begin())
                        .arg(readBack.size())
                        .arg(original.size()));
    return Exit::Done;
}

/// The lines of a program file, for the progress and to name a rejected first line; the model reads it again.
QByteArrayList programLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = file.readAll().replace("\r\n", "\n").replace('\r', '\n');
    if (text.endsWith('\n'))
        text.chop(1);
    return text.split('\n');
}

/// Reads the units the record gained since the last call, in order; `take` returns false once it has seen enough.
class Follow
{
public:
    explicit Follow(const Monitor::Record &record) : m_record(record), m_next(record.end()) {}
    template <typename Take> void operator()(Take take)
    {
        m_next = qMax(m_next, m_record.first());
        while (m_next < m_record.end()) {
            const qint64 n = m_next++;
            if (!take(n, m_record.at(n)))
                return;
        }
    }

private:
    const Monitor::Record &m_record;
    qint64 m_next;
};

Exit download(Session &s)
{
    UDP &w = s.udp;
    const Monitor::Record &record = w.monitor;
    const QByteArrayList lines = programLines(s.options.local);
    const qint64 total = qMin<qsizetype>(lines.size(), 2048);
    Progress progress(QStringLiteral("download"), QStringLiteral("lines"), 0);
    progress.setTotal(total);
    // The course of the download on the wire: the lines that went out, the device's answers to each, and the whole
    // answer to the last line, which comes once the download is complete.
    qint64 sent = 0, last = -1;
    QByteArray line = lines.value(0);
    bool rejected = false, denied = false;
    QByteArray lastReply;
    Follow follow(record);
    const auto done = [&] {
        follow([&](qint64 n, const Monitor::Unit &u) {
            if (u.direction == Monitor::Direction::Sent && u.step == Monitor::Step::ProgramLine) {
                if (++sent > 1) {
                    line = Monitor::command(u).toByteArray();
                    progress.update(sent);
                }
                last = sent == total ? n : last;
            } else if (record.holds(u.request) && record.at(u.request).step == Monitor::Step::ProgramLine) {
                if (u.request == last)
                    lastReply += Monitor::payload(u);
                rejected = rejected || (u.request != last && u.step == Monitor::Step::Error);
                denied = denied || (u.request != last && u.step == Monitor::Step::Prompt);
            }
            return !rejected && !denied && !lastReply.contains('\n');
        });
        return rejected || denied || lastReply.contains('\n');
    };
    s.dialog.answer(s.options.local);
    s.runner.click(w.Command10);
    const Outcome outcome = s.runner.wait(done, s.options.timeoutMs);
    progress.finish();
    const QString where = QStringLiteral("line %1 (%2)").arg(qMax<qint64>(sent, 1)).arg(Charset::decode(line));
    if (outcome != Outcome::Done)
        return failWait(s, outcome, where);
    if (denied)
        return fail(s, Exit::DeviceError, QStringLiteral("the device asks for a login"));
    if (rejected || !lastReply.contains("OK") || lastReply.contains("ERROR"))
        return fail(s, Exit::DeviceError, QStringLiteral("the device rejected %1").arg(where));
    return Exit::Done;
}

Exit list(Session &s)
{
    UDP &w = s.udp;
    const Monitor::Record &record = w.monitor;
    Progress progress(QStringLiteral("list"), QStringLiteral("replies"), 100);
    qint64 replies = 0, listing = -1;
    bool completed = false, denied = false;
    Follow follow(record);
    // The device's answers to LIST: lines of the listing up to the one that ends it, or a login prompt.
    const auto done = [&] {
        follow([&](qint64 n, const Monitor::Unit &u) {
            if (u.direction == Monitor::Direction::Sent && u.step == Monitor::Step::List)
                listing = n;
            else if (listing >= 0 && u.request == listing && u.step == Monitor::Step::ListingLine)
                progress.update(++replies);
            completed = completed || (u.request == listing && u.step == Monitor::Step::ListingEnd);
            denied = denied || (u.request == listing && u.step == Monitor::Step::Prompt);
            return !completed && !denied;
        });
        return completed || denied;
    };
    s.dialog.answer(s.options.local);
    s.runner.click(w.Command11);
    const Outcome outcome = s.runner.wait(done, s.options.timeoutMs);
    progress.finish();
    if (outcome != Outcome::Done)
        return failWait(s, outcome, QStringLiteral("LIST"));
    return denied ? fail(s, Exit::DeviceError, QStringLiteral("the device asks for a login")) : Exit::Done;
}

Exit newProgram(Session &s)
{
    return oneLineReply(s, s.udp.Command12, QStringLiteral("NEW"), false);
}
} // namespace

namespace Verbs
{
Exit openLink(Session &s)
{
    const Exit opened = s.options.serialLink() ? openSerial(s) : connectUdp(s);
    s.report.link = s.udp.statusLink();
    return opened;
}

Exit run(Session &s)
{
    switch (s.options.verb) {
    case Options::Verb::Ver:
        return ver(s);
    case Options::Verb::Send:
        return send(s);
    case Options::Verb::Put:
        return put(s);
    case Options::Verb::Get:
        return get(s, s.options.local, "get");
    case Options::Verb::Download:
        return download(s);
    case Options::Verb::List:
        return list(s);
    case Options::Verb::New:
        return newProgram(s);
    }
    return Exit::Usage;
}
} // namespace Verbs
