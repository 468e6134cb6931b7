// SPDX-License-Identifier: MIT
#include "fleet.h"

#include "interrupts.h"
#include "options.h"
#include "output.h"
#include "runner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace
{
/// A signal handler may only set a flag; the fleet looks at it this often.
constexpr int kInterruptPollMs = 100;

struct Member {
    const Options::Device &device;
    std::unique_ptr<QProcess> process;
    QByteArray err; // stderr up to its last whole line
    QString started;
    QElapsedTimer clock;
};

class FleetRun
{
public:
    explicit FleetRun(const Options &options) : m_options(options)
    {
        // The members stay where they are: the processes' handlers hold on to them.
        m_members.reserve(size_t(options.fleet.size()));
        for (const Options::Device &device : options.fleet)
            m_members.push_back(Member{device, nullptr, {}, {}, {}});
    }

    int run()
    {
        QElapsedTimer clock;
        clock.start();
        QTimer interrupts;
        QObject::connect(&interrupts, &QTimer::timeout, &m_loop, [this] {
            if (Interrupts::requested())
                interrupt();
        });
        interrupts.start(kInterruptPollMs);
        startMore();
        if (m_running > 0)
            m_loop.exec();
        std::fprintf(stderr, "vantrel: ok=%d changed=%d failed=%d unreachable=%d seconds=%.3f\n", m_ok, m_changed,
                     m_failed, m_unreachable, clock.nsecsElapsed() / 1e9);
        std::fflush(stderr);
        return m_worst;
    }

private:
    void startMore()
    {
        while (!m_interrupted && m_running < m_options.jobs && m_next < m_members.size())
            start(m_members[m_next++]);
        if (m_running == 0)
            m_loop.quit();
    }

    void start(Member &m)
    {
        ++m_running;
        m.started = Output::now();
        m.clock.start();
        m.process = std::make_unique<QProcess>();
        QProcess &p = *m.process;
        p.setStandardInputFile(QProcess::nullDevice());
        QObject::connect(&p, &QProcess::readyReadStandardError, &m_loop, [this, &m] { relay(m, false); });
        QObject::connect(&p, &QProcess::finished, &m_loop, [this, &m] { finished(m); });
        QObject::connect(&p, &QProcess::errorOccurred, &m_loop, [this, &m](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                finished(m);
        });
        // The device's own run reads the same arguments; the one it is named to is its link.
        p.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--fleet-device"), m.device.entry} + m_options.arguments.mid(1));
    }

    /// The device's messages, each line behind its name.
    void relay(Member &m, bool all)
    {
        m.err += m.process->readAllStandardError();
        qsizetype end = all ? m.err.size() : m.err.lastIndexOf('\n') + 1;
        const QByteArray name = m.device.entry.toLocal8Bit();
        for (QByteArray line : m.err.left(end).split('\n')) {
            if (line.isEmpty())
                continue;
            if (line.startsWith("vantrel: "))
                line.remove(0, 9);
            std::fprintf(stderr, "vantrel: %s: %s\n", name.constData(), line.constData());
        }
        std::fflush(stderr);
        m.err.remove(0, end);
    }

    void finished(Member &m)
    {
        relay(m, true);
        const QByteArray out = m.process->readAllStandardOutput().trimmed();
        QJsonObject report = QJsonDocument::fromJson(out.mid(out.lastIndexOf('\n') + 1)).object();
        if (report.isEmpty())
            report = lost(m);
        tell(m, report, QJsonDocument(report).toJson(QJsonDocument::Compact));
        m.process.release()->deleteLater();
        --m_running;
        startMore();
    }

    /// The report of a device whose run told none: it could not start, or it crashed.
    QJsonObject lost(const Member &m) const
    {
        Report report;
        report.device = report.target = m.device.entry;
        report.verb = m_options.verbName;
        report.started = m.started;
        report.seconds = m.clock.nsecsElapsed() / 1e9;
        if (m.process->error() == QProcess::FailedToStart) {
            report.exit = Exit::LocalFile;
            report.error = QStringLiteral("vantrel could not start: %1").arg(m.process->errorString());
        } else {
            report.exit = Exit::Crashed;
            report.error = QStringLiteral("the run ended abnormally (exit %1)").arg(m.process->exitCode());
        }
        return QJsonDocument::fromJson(Output::json(report)).object();
    }

    void tell(const Member &m, const QJsonObject &report, const QByteArray &line)
    {
        const int exit = report.value(QStringLiteral("exit")).toInt();
        const bool changed = report.value(QStringLiteral("changed")).toBool();
        const QByteArray name = m.device.entry.toLocal8Bit();
        if (m_options.json) {
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
            std::fputc('\n', stdout);
        } else if (m_options.verb == Options::Verb::Ver || m_options.verb == Options::Verb::Send) {
            for (const QJsonValue &reply : report.value(QStringLiteral("reply_lines")).toArray())
                std::printf("%s: %s\n", name.constData(), reply.toString().toLocal8Bit().constData());
        }
        std::fflush(stdout);
        if (!m_options.quiet) {
            std::fprintf(stderr, "vantrel: %s: %s%s (%.3f s)\n", name.constData(),
                         qPrintable(report.value(QStringLiteral("result")).toString()), changed ? ", changed" : "",
                         report.value(QStringLiteral("seconds")).toDouble());
            std::fflush(stderr);
        }
        m_worst = qMax(m_worst, exit);
        // As Ansible counts: a device that changed is ok too, one that failed is failed, whatever it changed first.
        if (exit == int(Exit::Done))
            ++m_ok;
        else if (exit == int(Exit::Link))
            ++m_unreachable;
        else
            ++m_failed;
        m_changed += changed && exit == int(Exit::Done) ? 1 : 0;
    }

    /// Ctrl-C, SIGTERM or SIGHUP: every transfer under way ends as it would in a run on its device alone, and no
    /// device is started any more. A terminal's Ctrl-C reaches the devices' runs by itself; a signal sent to this
    /// process alone is passed on.
    void interrupt()
    {
        if (std::exchange(m_interrupted, true))
            return;
        for (Member &m : m_members)
            if (m.process && m.process->state() != QProcess::NotRunning)
                m.process->terminate();
        const Exit why = Interrupts::hungUp() ? Exit::HungUp : Exit::Interrupted;
        for (; m_next < m_members.size(); ++m_next) {
            Member &m = m_members[m_next];
            Report report;
            report.device = report.target = m.device.entry;
            report.verb = m_options.verbName;
            report.started = Output::now();
            report.exit = why;
            report.error = QStringLiteral("not started: %1").arg(QLatin1String(ExitCode::word(why)));
            const QByteArray line = Output::json(report).trimmed();
            tell(m, QJsonDocument::fromJson(line).object(), line);
        }
        if (m_running == 0)
            m_loop.quit();
    }

    const Options &m_options;
    std::vector<Member> m_members;
    size_t m_next = 0;
    int m_running = 0;
    bool m_interrupted = false;
    int m_worst = 0;
    int m_ok = 0, m_changed = 0, m_failed = 0, m_unreachable = 0;
    QEventLoop m_loop;
};
} // namespace

namespace Fleet
{
int run(const Options &options)
{
    return FleetRun(options).run();
}
} // namespace Fleet
