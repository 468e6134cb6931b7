// SPDX-License-Identifier: MIT
#pragma once

#include "app/udp.h"
#include "devicesim.h"
#include "fakes.h"
#include "platform/qt/qtwinsock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

/// The window model on the real UDP socket, talking over loopback to a simulated device that runs on the
/// same thread, in a fresh working directory of its own. The serial port, dialogs, boxes and operating
/// system stay fakes: the ARP flush of Connect never reaches the real system.
struct SimLink {
    /// A diskFolder given as a relative name lies inside the working directory.
    explicit SimLink(DeviceSim::Options options = {}) : previous(QDir::currentPath()), sim(freePort(options))
    {
        QDir::setCurrent(dir.path());
    }
    ~SimLink() { QDir::setCurrent(previous); }

    /// Starts the device, then the window, then Connect to the device; false when either end is not up.
    bool connect()
    {
        if (!sim.start(&error))
            return false;
        udp.Form_Load();
        logStart = log().size();
        udp.ComboRemoteIP.setText("127.0.0.1");
        udp.tbRemotePort.setText(QByteArray::number(sim.port()));
        // Port 0 lets the system pick a free one, so that test runs side by side never collide.
        udp.tbLocalPort.setText("0");
        udp.cbBind_Click();
        return udp.Winsock1.state() == 1;
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    QByteArray file(const QString &name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile f(path(name));
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    }
    QByteArray log() const { return file(QStringLiteral("Terminal.log")); }
    /// What the log gained after start-up.
    QByteArray logAfterStart() const { return log().mid(logStart); }

    QTemporaryDir dir;
    QString previous;
    QtWinsock winsock;
    FakeMSComm mscomm;
    FakeDialog dialog;
    FakeMessageBox boxes;
    FakeSystem system;
    UDP udp{Platform{winsock, mscomm, dialog, boxes, system}};
    DeviceSim sim;
    QString error;
    qsizetype logStart = 0;

private:
    static DeviceSim::Options freePort(DeviceSim::Options options)
    {
        options.address = QHostAddress::LocalHost;
        options.port = 0;
        return options;
    }
};
