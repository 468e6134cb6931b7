// SPDX-License-Identifier: MIT
#pragma once

#include "app/window.h"
#include "fakes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>

/// A program of this build, by its path relative to the tests' own folder: the build folder's absolute path is the
/// host's, which a cross-built test run under Wine cannot follow.
inline QString builtProgram(const char *relative)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromUtf8(relative));
}

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

/// The window model on the socket and serial port given, the other components fakes, in a working directory of
/// its own.
template <typename Socket, typename Port> struct ModelOn : WorkDir {
    /// From now on newLog() leaves out what the log holds.
    void markLog() { logMark = file(QStringLiteral("Terminal.log")).size(); }
    /// What the log gained since markLog().
    QByteArray newLog() const { return file(QStringLiteral("Terminal.log")).mid(logMark); }

    Socket winsock;
    Port mscomm;
    FakeDialog dialog;
    FakeMessageBox boxes;
    FakeSystem system;
    UDP udp{Platform{winsock, mscomm, dialog, boxes, system}};
    qsizetype logMark = 0;
};

/// Bytes from a fixed seed, every value among them in a few kilobytes.
inline QByteArray randomBytes(qsizetype size)
{
    QRandomGenerator generator(0x5EED0000u + quint32(size));
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(generator.bounded(256));
    return bytes;
}

/// Enter pressed on `line` in the command line; returns the key code as the handler left it.
inline qint16 pressEnter(UDP &w, const QByteArray &line)
{
    w.tbSendData.setText(line);
    qint16 key = 13;
    w.tbSendData_KeyPress(key);
    return key;
}

/// The window model on fakes, in a working directory of its own.
struct Harness : ModelOn<FakeWinsock, FakeMSComm> {
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
        markLog();
    }
    /// Start-up with the serial port open; the log written so far is left out of newLog().
    void startOpen()
    {
        udp.Form_Load();
        udp.BTNOpenCom_Click();
        markLog();
    }
    /// list.bas open as the program file, unless one is open already.
    void openProgramFile()
    {
        if (!udp.files.isOpen(udp.ProgFileNum)) {
            udp.ProgFileNum = udp.files.FreeFile();
            udp.files.openOutput(udp.ProgFileNum, QStringLiteral("list.bas"));
        }
    }
    /// The program file open, and a download of "10 A", "20 B", "30 C" whose first line has gone out; a fourth
    /// line is left over from a longer program.
    void midDownload()
    {
        openProgramFile();
        std::ranges::copy(QByteArrayList{"10 A", "20 B", "30 C", "40 left from a longer program"}, &udp.ProgLine[1]);
        udp.ProgLineCount = 3;
        udp.ProgLineIdx = 1;
    }
    /// Delivers the datagrams one by one; returns what the terminal sent meanwhile.
    QByteArrayList feed(const QByteArrayList &datagrams)
    {
        const qsizetype before = winsock.written().size();
        for (const QByteArray &datagram : datagrams)
            winsock.feedReceived(datagram);
        return winsock.written().mid(before);
    }
};
