// SPDX-License-Identifier: MIT
#include "qtsystem.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QProcess>
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
