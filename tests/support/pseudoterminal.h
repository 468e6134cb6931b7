// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#endif

/// A pseudo-terminal made for one test: the terminal's port opens `path`, the test plays the device on the master
/// side, whose reads never wait. Neither side is made raw here, so the port itself must set up a transparent line.
/// Windows has none: there plugIn() fails with the reason.
struct Pty {
    Pty() { plugIn(); }
    ~Pty() { unplug(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    /// A new pair; false (the reason in `error`) when none can be made.
    bool plugIn()
    {
#ifdef Q_OS_UNIX
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        path = name;
        return true;
#else
        error = QStringLiteral("pseudo-terminals need a Unix system");
        return false;
#endif
    }
    /// The device goes away, as when its cable is pulled.
    void unplug()
    {
#ifdef Q_OS_UNIX
        if (master >= 0)
            ::close(std::exchange(master, -1));
        if (slave >= 0)
            ::close(std::exchange(slave, -1));
#endif
    }
    /// What the device has received so far, without waiting.
    QByteArray read()
    {
#ifdef Q_OS_UNIX
        char buffer[512];
        return QByteArray(buffer, qMax<ssize_t>(::read(master, buffer, sizeof buffer), 0));
#else
        return {};
#endif
    }
    bool write(const QByteArray &bytes)
    {
#ifdef Q_OS_UNIX
        return ::write(master, bytes.constData(), bytes.size()) == bytes.size();
#else
        Q_UNUSED(bytes);
        return false;
#endif
    }

    int master = -1;
    int slave = -1;
    QByteArray path;
    QString error;
};
