// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// The operating system's services the handlers use.
class System
{
public:
    virtual ~System() = default;
    /// The current local date and time as the system writes it: short date, a blank, the time.
    virtual QByteArray nowText() const = 0;
    /// The wall clock in milliseconds since 1970 (UTC): when a reply came, how long a command waits for one.
    virtual qint64 clockMs() const = 0;
    /// The same clock in microseconds, as finely as the system tells it: when a unit went over the wire.
    virtual qint64 clockUs() const = 0;
    /// Seeds the random generator from the clock.
    virtual void randomize() = 0;
    /// A random fraction in [0, 1).
    virtual double rnd() = 0;
    /// Blocks the calling thread.
    virtual void sleep(int ms) = 0;
    /// Starts a command and does not wait for it, in the file system's root (it holds no folder of the caller's);
    /// false when it could not be started.
    virtual bool startCommand(const QString &program, const QStringList &arguments) = 0;
    /// The folder where the terminals of this user meet: their locks on devices lie there.
    virtual QString runtimeFolder() const = 0;
};
