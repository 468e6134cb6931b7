// SPDX-License-Identifier: MIT
#pragma once

#include "devicesim.h"
#include "harness.h"
#include "platform/qt/qtmscomm.h"
#include "platform/qt/qtwinsock.h"
#include "ptydevicesim.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QTimer>

#include <optional>

/// Bytes from a fixed seed, every value among them in a few kilobytes.
inline QByteArray randomBytes(qsizetype size)
{
    QRandomGenerator generator(0x5EED0000u + quint32(size));
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(generator.bounded(256));
    return bytes;
}

/// Turns the event loop (device, socket and poll) until `done` holds; false after `timeoutMs`.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = kPatienceMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

/// The window model on the real UDP socket, talking over loopback to a simulated device that runs on the
/// same thread, in a working directory of its own. The serial port, dialogs, boxes and operating system stay
/// fakes: the ARP flush of Connect never reaches the real system.
struct SimLink : ModelOn<QtWinsock, FakeMSComm> {
    /// A diskFolder given as a relative name lies inside the working directory. Port 0 lets the system pick a
    /// free one, so that test runs side by side never collide.
    explicit SimLink(DeviceSim::Options options = {}, const QHostAddress &address = QHostAddress::LocalHost)
        : sim([&address](DeviceSim::Options o) {
              o.address = address;
              o.port = 0;
              return o;
          }(options))
    {
    }

    /// Starts the device, then the window, then Connect to the device, whose port goes into the remote port box or,
    /// with `inAddress`, after the address ("127.0.0.1:5111"); false when either end is not up.
    bool connect(bool inAddress = false)
    {
        if (!sim.start(&error))
            return false;
        udp.Form_Load();
        markLog();
        const QByteArray port = QByteArray::number(sim.port());
        QByteArray host = sim.options().address.toString().toLatin1();
        if (host.contains(':'))
            host = '[' + host + ']';
        udp.ComboRemoteIP.setText(inAddress ? host + ':' + port : host);
        if (!inAddress)
            udp.tbRemotePort.setText(port);
        udp.tbLocalPort.setText("0");
        udp.cbBind_Click();
        return udp.Winsock1.state() == 1;
    }

    DeviceSim sim;
    QString error;
};

/// Runs the poll as the window does: every 20 ms while TMRComm is enabled, a full interval after each restart.
class PollTimer : public ElementObserver
{
public:
    explicit PollTimer(UDP &w) : m_w(w)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(w.TMRComm.Interval());
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { m_w.TMRComm_Timer(); });
        m_w.setObserver(this);
        if (w.TMRComm.Enabled())
            m_timer.start();
    }
    ~PollTimer() override { m_w.setObserver(nullptr); }
    void changed(Element &element, Prop prop) override
    {
        if (&element == &m_w.TMRComm && prop == Prop::Enabled)
            element.Enabled() ? m_timer.start() : m_timer.stop();
    }
    void appended(TextBox &, const QByteArray &) override {}

private:
    UDP &m_w;
    QTimer m_timer;
};

/// The window model on the real serial port, whose port 3 (the port box's "COM3") is the simulated device on
/// a pseudo-terminal, running on the same thread; the poll runs as in the window. The other components are fakes.
struct SerialLink : ModelOn<FakeWinsock, QtMSComm> {
    explicit SerialLink(PtyDeviceSim::Options options = {}) : sim(std::move(options)) {}
    ~SerialLink() { qunsetenv("VANTREL_COM3"); }

    /// Starts the device, points port 3 at it, starts the window and opens the port; false when no
    /// pseudo-terminal can be made (the reason in `error`).
    bool connect()
    {
        if (!sim.start(&error))
            return false;
        qputenv("VANTREL_COM3", QFile::encodeName(sim.path()));
        udp.Form_Load();
        poll.emplace(udp);
        udp.BTNOpenCom.Click();
        markLog();
        return udp.PortOpened == 1;
    }

    PtyDeviceSim sim;
    std::optional<PollTimer> poll;
    QString error;
};
