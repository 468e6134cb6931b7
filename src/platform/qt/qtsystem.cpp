// SPDX-License-Identifier: MIT
#include "qtsystem.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <chrono>

QByteArray QtSystem::nowText() const
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    // The C locale's "short" date spells the month out ("6 Dec 2026"); a log wants numbers there.
    const QString date = locale.language() == QLocale::C ? now.date().toString(Qt::ISODate)
                                                         : locale.toString(now.date(), QLocale::ShortFormat);
    return (date + QLatin1Char(' ') + now.time().toString(QStringLiteral("HH:mm:ss"))).toLatin1();
}

qint64 QtSystem::clockMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

qint64 QtSystem::clockUs() const
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

void QtSystem::randomize()
{
    m_random.seed(std::mt19937::result_type(std::chrono::system_clock::now().time_since_epoch().count()));
}

double QtSystem::rnd()
{
    // A 32-bit draw over 2^32 is always below 1, which a floating-point distribution does not promise.
    return m_random() / 4294967296.0;
}

void QtSystem::sleep(int ms)
{
    QThread::msleep(ulong(qMax(ms, 0)));
}

bool QtSystem::startCommand(const QString &program, const QStringList &arguments)
{
    // A command left running must not hold the working folder: Windows cannot remove a folder that is some process's
    // current one (the batch command's private folder, a script's temporary one).
    return QProcess::startDetached(program, arguments, QDir::rootPath());
}

QString QtSystem::runtimeFolder() const
{
    if (const QString folder = qEnvironmentVariable("VANTREL_RUNTIME_DIR"); !folder.isEmpty())
        return folder;
#ifdef Q_OS_WIN
    // Qt's runtime location on Windows is the user's home folder; the temporary folder is the user's own as well.
    return QDir::tempPath();
#else
    // Without XDG_RUNTIME_DIR Qt makes a folder of its own under /tmp, with a warning on stderr.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return QDir::tempPath();
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
#endif
}
