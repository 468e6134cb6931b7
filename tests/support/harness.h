// SPDX-License-Identifier: MIT
#pragma once

#include "app/window.h"
#include "fakes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

/// One set of fakes for a window model.
struct Fakes {
    FakeWinsock winsock;
    FakeMSComm mscomm;
    FakeDialog dialog;
    FakeMessageBox boxes;
    FakeSystem system;
    Platform platform() { return Platform{winsock, mscomm, dialog, boxes, system}; }
};

/// A fresh working directory, current for as long as the object lives.
struct WorkDir {
    WorkDir() : previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~WorkDir() { QDir::setCurrent(previous); }

    /// Contents of a file in the working directory.
    QByteArray file(const QString &name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    }

    QTemporaryDir dir;
    QString previous;
};

/// The window model on fakes, in a working directory of its own.
struct Harness : Fakes, WorkDir {
    /// The link up to 127.0.0.1 (never a real device address).
    void connect()
    {
        udp.ComboRemoteIP.setText("127.0.0.1");
        udp.cbBind_Click();
    }
    /// Start-up with the link up; the log written so far is left out of newLog().
    void startLinked()
    {
        udp.Form_Load();
        connect();
        logMark = file(QStringLiteral("Terminal.log")).size();
    }
    /// What the log gained since startLinked().
    QByteArray newLog() const { return file(QStringLiteral("Terminal.log")).mid(logMark); }
    /// Delivers the datagrams one by one; returns what the terminal sent meanwhile.
    QByteArrayList feed(const QByteArrayList &datagrams)
    {
        const qsizetype before = winsock.written().size();
        for (const QByteArray &datagram : datagrams)
            winsock.feedReceived(datagram);
        return winsock.written().mid(before);
    }

    UDP udp{platform()};
    qsizetype logMark = 0;
};
