// SPDX-License-Identifier: MIT
#pragma once

#include "devicesim.h"
#include "harness.h"
#include "platform/qt/qtwinsock.h"

/// The window model on the real UDP socket, talking over loopback to a simulated device that runs on the
/// same thread, in a working directory of its own. The serial port, dialogs, boxes and operating system stay
/// fakes: the ARP flush of Connect never reaches the real system.
struct SimLink : WorkDir {
    /// A diskFolder given as a relative name lies inside the working directory. Port 0 lets the system pick a
    /// free one, so that test runs side by side never collide.
    explicit SimLink(DeviceSim::Options options = {})
        : sim([](DeviceSim::Options o) {
              o.address = QHostAddress::LocalHost;
              o.port = 0;
              return o;
          }(options))
    {
    }

    /// Starts the device, then the window, then Connect to the device; false when either end is not up.
    bool connect()
    {
        if (!sim.start(&error))
            return false;
        udp.Form_Load();
        logStart = file(QStringLiteral("Terminal.log")).size();
        udp.ComboRemoteIP.setText("127.0.0.1");
        udp.tbRemotePort.setText(QByteArray::number(sim.port()));
        udp.tbLocalPort.setText("0");
        udp.cbBind_Click();
        return udp.Winsock1.state() == 1;
    }
    /// What the log gained after start-up.
    QByteArray logAfterStart() const { return file(QStringLiteral("Terminal.log")).mid(logStart); }

    QtWinsock winsock;
    FakeMSComm mscomm;
    FakeDialog dialog;
    FakeMessageBox boxes;
    FakeSystem system;
    UDP udp{Platform{winsock, mscomm, dialog, boxes, system}};
    DeviceSim sim;
    QString error;
    qsizetype logStart = 0;
};
