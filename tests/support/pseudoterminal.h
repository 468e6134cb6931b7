// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

/// A pseudo-terminal made for one test: the terminal's port opens `path`, the test plays the device on the master
/// side, whose reads never wait. Neither side is made raw here, so the port itself must set up a transparent line.
struct Pty {
    Pty() { plugIn(); }
    ~Pty() { unplug(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    /// A new pair; false (the reason in `error`) when none can be made.
    bool plugIn()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        path = name;
        return true;
    }
    /// The device goes away, as when its cable is pulled.
    void unplug()
    {
        if (master >= 0)
            ::close(std::exchange(master, -1));
        if (slave >= 0)
            ::close(std::exchange(slave, -1));
    }
    /// What the device has received so far, without waiting.
    QByteArray read()
    {
        char buffer[512];
        return QByteArray(buffer, qMax<ssize_t>(::read(master, buffer, sizeof buffer), 0));
    }
    bool write(const QByteArray &bytes) { return ::write(master, bytes.constData(), bytes.size()) == bytes.size(); }

    int master = -1;
    int slave = -1;
    QByteArray path;
    QString error;
};
