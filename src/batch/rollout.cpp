// SPDX-License-Identifier: MIT
#include "rollout.h"

#include "headless.h"
#include "options.h"
#include "output.h"
#include "verbs.h"

#include "app/charset.h"
#include "app/window.h"
#include "program/programline.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>

namespace
{
using Verbs::fail;

/// The line table of the terminal holds this many program lines.
constexpr qsizetype kMaxLines = 2048;

/// The whole of a local file; false, with the run ended as a local file problem, when it cannot be read.
bool readLocal(Session &s, const QString &path, QByteArray *bytes, Exit *exit)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        *bytes = file.readAll();
        if (file.error() == QFileDevice::NoError)
            return true;
    }
    *exit = fail(s, Exit::LocalFile, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return false;
}

/// --check: the device is asked for its version, which changes nothing, so that one out of reach is told as a real
/// run would tell it; then what would be done.
Exit wouldDo(Session &s, const QString &what)
{
    if (const Exit asked = Verbs::askVersion(s); asked != Exit::Done)
        return asked;
    s.report.changed = true;
    Output::message(QStringLiteral("check: would %1").arg(what));
    return Exit::Done;
}

QString lineText(const QByteArrayList &lines, qsizetype n)
{
    return n < lines.size() ? QStringLiteral("\"%1\"").arg(Charset::decode(lines[n])) : QStringLiteral("nothing");
}

/// Where the device's program and the file part, in words.
QString difference(const QByteArrayList &file, const QByteArrayList &device, qsizetype n)
{
    return QStringLiteral("program line %1: the file has %2, the device %3")
        .arg(n + 1)
        .arg(lineText(file, n), lineText(device, n));
}

/// The device's program, listed into `path`.
Exit listInto(Session &s, const QString &path, QByteArrayList *program)
{
    if (const Exit listed = Verbs::listProgram(s, path); listed != Exit::Done) {
        // The listing was the run's own, into a folder that goes with the run: its end needs telling nobody where
        // the lines that came are.
        s.boxes.hush(true);
        try {
            s.udp.ProgListingStop();
        } catch (const Failure &) {
            // Held lines that cannot be written go with the folder all the same.
        }
        s.boxes.hush(false);
        return listed;
    }
    QByteArray text;
    Exit exit = Exit::Done;
    if (!readLocal(s, path, &text, &exit))
        return exit;
    *program = Rollout::program(text);
    return Exit::Done;
}
} // namespace

namespace Rollout
{
QByteArrayList program(const QByteArray &text)
{
    QByteArrayList lines;
    for (const QByteArray &line : ProgramLine::split(text)) {
        QByteArray sent = ProgramLine::sent(line);
        while (sent.endsWith(' ') || sent.endsWith('\t'))
            sent.chop(1);
        if (!sent.isEmpty())
            lines << sent;
    }
    return lines;
}

qsizetype firstDifference(const QByteArrayList &a, const QByteArrayList &b)
{
    const auto differ = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return differ.first == a.end() && differ.second == b.end() ? -1 : differ.first - a.begin();
}

Exit put(Session &s)
{
    const Options &o = s.options;
    if (o.ifDifferent) {
        QTemporaryDir folder;
        if (!folder.isValid())
            return fail(s, Exit::LocalFile, QStringLiteral("no temporary folder: %1").arg(folder.errorString()));
        const QString copy = folder.filePath(QStringLiteral("device"));
        QByteArray wanted, present;
        Exit exit = Exit::Done;
        if (!readLocal(s, o.local, &wanted, &exit))
            return exit;
        // A device without the file refuses to open it: as far as a put goes, its file differs.
        const Exit read = Verbs::getFile(s, copy, "compare");
        if (read != Exit::Done && read != Exit::DeviceError)
            return read;
        if (read == Exit::Done && readLocal(s, copy, &present, &exit) && present == wanted) {
            Output::note(QStringLiteral("%1 on the flash disk is %2 already").arg(o.name, o.local));
            return Exit::Done;
        }
        if (exit != Exit::Done)
            return exit;
        s.report.error.clear();
    }
    if (o.check) {
        QByteArray bytes;
        Exit exit = Exit::Done;
        if (!readLocal(s, o.local, &bytes, &exit))
            return exit;
        return wouldDo(
            s, QStringLiteral("write %1 onto the flash disk as %2 (%3 bytes)").arg(o.local, o.name).arg(bytes.size()));
    }
    return Verbs::putFile(s);
}

Exit download(Session &s)
{
    if (!s.options.check)
        return Verbs::downloadProgram(s);
    QByteArray text;
    Exit exit = Exit::Done;
    if (!readLocal(s, s.options.local, &text, &exit))
        return exit;
    return wouldDo(s,
                   QStringLiteral("download %1 (%2 lines)").arg(s.options.local).arg(ProgramLine::split(text).size()));
}

Exit newProgram(Session &s)
{
    return s.options.check ? wouldDo(s, QStringLiteral("clear the device's program")) : Verbs::clearProgram(s);
}

Exit ensureProgram(Session &s)
{
    const Options &o = s.options;
    // Whatever keeps the file from going to the device is found before the device loses its program.
    QByteArray text;
    Exit exit = Exit::Done;
    if (!readLocal(s, o.local, &text, &exit))
        return exit;
    const QByteArrayList wanted = program(text);
    if (wanted.isEmpty())
        return fail(s, Exit::LocalFile,
                    QStringLiteral("%1 holds no program lines (new clears the program)").arg(o.local));
    if (ProgramLine::split(text).size() > kMaxLines)
        return fail(s, Exit::LocalFile, QStringLiteral("%1 has more than %2 lines").arg(o.local).arg(kMaxLines));
    QTemporaryDir folder;
    if (!folder.isValid())
        return fail(s, Exit::LocalFile, QStringLiteral("no temporary folder: %1").arg(folder.errorString()));
    const QString listed = folder.filePath(QStringLiteral("device.bas"));
    QByteArrayList present;
    if (const Exit first = listInto(s, listed, &present); first != Exit::Done)
        return first;
    s.report.payloadBytes = 0;
    const qsizetype differs = firstDifference(wanted, present);
    if (differs < 0) {
        Output::note(QStringLiteral("the device's program is %1 already").arg(o.local));
        return Exit::Done;
    }
    const QString where = difference(wanted, present, differs);
    if (o.check) {
        s.report.changed = true;
        Output::message(QStringLiteral("check: %1; would clear the program and download %2").arg(where, o.local));
        return Exit::Done;
    }
    Output::note(QStringLiteral("%1; clearing the program and downloading %2").arg(where, o.local));
    // Erasing takes the device about 20 s: NEW is given at least as long as the new verb gives it.
    Options erasing = o;
    erasing.timeoutMs = qMax(o.timeoutMs, Options::kEraseMs);
    Session clearing{erasing, s.udp, s.runner, s.dialog, s.boxes, s.report};
    if (const Exit cleared = Verbs::clearProgram(clearing); cleared != Exit::Done)
        return cleared;
    if (const Exit downloaded = Verbs::downloadProgram(s); downloaded != Exit::Done)
        return downloaded;
    const qint64 downloadedBytes = s.report.payloadBytes;
    if (const Exit second = listInto(s, listed, &present); second != Exit::Done)
        return second;
    s.report.payloadBytes = downloadedBytes;
    if (const qsizetype after = firstDifference(wanted, present); after >= 0)
        return fail(s, Exit::DeviceError,
                    QStringLiteral("after the download, %1").arg(difference(wanted, present, after)));
    return Exit::Done;
}
} // namespace Rollout
