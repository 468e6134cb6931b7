// SPDX-License-Identifier: MIT
// vantrel: the terminal's window model run without a window, one verb per run, for scripts, production lines and
// fleets. It knows the model as the view does: the elements, their events and what they show.
#include "fleet.h"
#include "headless.h"
#include "interrupts.h"
#include "options.h"
#include "output.h"
#include "runner.h"
#include "tracefile.h"
#include "verbs.h"

#include "app/window.h"
#include "platform/qt/qtmscomm.h"
#include "platform/qt/qtsystem.h"
#include "platform/qt/qtwinsock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace
{
/// The model opens "Terminal.log" in its working directory: the folder asked for, or with --no-log a private one
/// that goes at the end of the run.
struct WorkFolder {
    explicit WorkFolder(const Options &options) : m_previous(QDir::currentPath())
    {
        QString folder = options.workdir;
        if (options.noLog) {
            m_private.emplace();
            if (!m_private->isValid()) {
                error = QStringLiteral("no temporary folder: %1").arg(m_private->errorString());
                return;
            }
            folder = m_private->path();
        }
        if (folder.isEmpty())
            return;
        if (!QDir().mkpath(folder) || !QDir::setCurrent(folder))
            error = QStringLiteral("cannot work in %1").arg(folder);
    }
    ~WorkFolder() { QDir::setCurrent(m_previous); }
    QString error;

private:
    QString m_previous;
    std::optional<QTemporaryDir> m_private;
};

Exit runVerb(const Options &options, Report &report)
{
    const WorkFolder folder(options);
    if (!folder.error.isEmpty()) {
        report.error = folder.error;
        return Exit::LocalFile;
    }
    QtWinsock winsock;
    QtMSComm mscomm;
    ArgumentDialog dialog;
    StderrMessageBox boxes;
    QtSystem system;
    UDP udp(Platform{winsock, mscomm, dialog, boxes, system});
    if (!options.logFile.isEmpty()) {
        QDir().mkpath(QFileInfo(options.logFile).absolutePath());
        udp.setLogFile(options.logFile);
    }
    Runner runner(udp, boxes);
    Session session{options, udp, runner, dialog, boxes, report};
    std::optional<TraceFile> trace;
    if (!options.trace.isEmpty() && !trace.emplace(udp.monitor, options.trace).open(&report.error))
        return Exit::LocalFile;
    udp.Form_Load();
    // The only box of the start-up is the log's: it cannot be opened or written.
    Exit exit = Exit::LocalFile;
    if (boxes.count() == 0) {
        exit = Verbs::openLink(session);
        if (exit == Exit::Done)
            exit = Verbs::run(session);
    } else {
        report.error = boxes.lastBox();
        report.errorShown = true;
    }
    // The trace is written whatever the run's end: a failed run is the one worth reading.
    if (QString error; trace && !trace->commit(&error)) {
        if (exit != Exit::Done)
            Output::message(error);
        else
            report.error = error;
        exit = exit == Exit::Done ? Exit::LocalFile : exit;
    }
    report.bytesSent = udp.bytesSent();
    report.bytesReceived = udp.bytesReceived();
    if (options.verb == Options::Verb::Ver || options.verb == Options::Verb::Send)
        report.payloadBytes = report.reply.size();
    udp.Form_Unload();
    // Without a failure the number is 0 and the text empty: the report's "failure" is null.
    report.failureNumber = boxes.lastNumber();
    report.failureText = boxes.lastText();
    return exit;
}

/// A try that failed for want of the link or of a reply may go better again; one that another terminal's transfer
/// kept off the device would only meet it again.
bool worthAnotherTry(const Report &report)
{
    return report.exit == Exit::NoReply || (report.exit == Exit::Link && report.failureNumber != int(Err::DeviceBusy));
}

/// Runs the verb, and with --retries again from its start, each time on a window model of its own: a put starts
/// again with OPENWR, which empties the device's file, a get with OPENRD, and no block ever goes twice.
void runTries(const Options &options, Report &report)
{
    const Report asked = report;
    qint64 sent = 0, received = 0;
    bool changed = false;
    QList<Try> tries;
    for (int attempt = 0;; ++attempt) {
        report = asked;
        report.started = Output::now();
        QElapsedTimer clock;
        clock.start();
        report.exit = runVerb(options, report);
        tries << Try{report.started, clock.nsecsElapsed() / 1e9, report.exit,
                     report.error,   report.bytesSent,           report.bytesReceived};
        sent += report.bytesSent;
        received += report.bytesReceived;
        changed = changed || report.changed;
        if (attempt >= options.retries || !worthAnotherTry(report))
            break;
        Output::message(QStringLiteral("%1; trying again from the start (%2 of %3)")
                            .arg(report.errorShown ? QString::fromLatin1(ExitCode::word(report.exit)) : report.error)
                            .arg(attempt + 2)
                            .arg(options.retries + 1));
    }
    report.started = tries.first().started;
    report.bytesSent = sent;
    report.bytesReceived = received;
    report.changed = changed;
    report.tries = tries;
}

int finish(const Options &options, Report &report, const QElapsedTimer &clock)
{
    report.seconds = clock.nsecsElapsed() / 1e9;
    if (!report.error.isEmpty() && !report.errorShown)
        Output::message(report.error);
    if (options.json) {
        const QByteArray json = Output::json(report);
        std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    }
    return int(report.exit);
}
} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer clock;
    clock.start();
    Output::keepBytes();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.1.3"));

    Options options;
    Report report;
    QString error;
    switch (CommandLine::parse(QCoreApplication::arguments(), options, error)) {
    case CommandLine::Parsed::Help:
        std::fputs(qPrintable(CommandLine::helpText()), stdout);
        return 0;
    case CommandLine::Parsed::Version:
        std::printf("vantrel %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    case CommandLine::Parsed::Usage:
        report.started = Output::now();
        report.verb = options.verbName;
        report.exit = Exit::Usage;
        report.error = error + QStringLiteral(" (vantrel --help tells more)");
        return finish(options, report, clock);
    case CommandLine::Parsed::Run:
        break;
    }
    Interrupts::catchAll();
    Output::setQuiet(options.quiet);
    if (!options.fleet.isEmpty())
        return Fleet::run(options);
    report.verb = options.verbName;
    report.target = options.target();
    report.device = options.device();
    report.check = options.check;
    report.localFile = options.local;
    report.deviceFile = options.name;
    runTries(options, report);
    if (report.exit == Exit::Interrupted && Interrupts::hungUp()) {
        report.exit = Exit::HungUp;
        report.error = QStringLiteral("hung up");
    }
    return finish(options, report, clock);
}
