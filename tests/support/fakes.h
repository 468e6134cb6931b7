// SPDX-License-Identifier: MIT
#pragma once

#include "platform/commondialog.h"
#include "platform/failure.h"
#include "platform/messagebox.h"
#include "platform/mscomm.h"
#include "platform/system.h"
#include "platform/winsock.h"

#include <QByteArrayList>
#include <QSet>
#include <QStringList>

#include <functional>

/// A scripted socket: records what is sent, delivers what a test feeds.
class FakeWinsock : public Winsock
{
public:
    void setProtocol(Protocol p) override { protocol = p; }
    void setRemotePort(qint32 port) override { remotePort = port; }
    /// Names in the reserved top-level domain .invalid are never found.
    void setRemoteHost(const QByteArray &host) override;
    void bind(const QByteArray &localPort) override;
    QByteArray peer() const override { return remoteHost + ':' + QByteArray::number(remotePort); }
    QByteArray localIP() const override { return "10.20.30.40"; }
    quint16 localPort() const override { return m_state == 1 ? boundPort : 0; }
    qint16 state() const override { return m_state; }
    void sendData(const QByteArray &data) override;
    QByteArray getData() override { return m_current; }
    /// The remote host, whatever it was named, is 127.0.0.1; this end is 127.0.0.1 too.
    Endpoint sender() const override { return remote(); }
    Endpoint remote() const override { return {{127, 0, 0, 1}, 4, quint16(remotePort)}; }
    Endpoint local() const override { return {{127, 0, 0, 1}, 4, localPort()}; }
    void close() override { m_state = 0; }
    quint64 droppedCount() const override { return 0; }

    /// Delivers one datagram to the arrival handler, as the socket would.
    void feedReceived(const QByteArray &datagram);
    /// Delivers the datagrams one after another, as the socket does with those that wait to be read at once.
    void feedBurst(const QByteArrayList &datagrams);
    const QByteArrayList &written() const { return m_written; }
    /// The next send fails.
    void injectError() { m_failNextSend = true; }
    /// Called with each datagram as it goes out.
    std::function<void(const QByteArray &)> onSend;

    Protocol protocol = TCP;
    qint32 remotePort = 0;
    QByteArray remoteHost;
    quint16 boundPort = 0;
    QSet<quint16> busyPorts;

private:
    qint16 m_state = 0;
    QByteArray m_current;
    QByteArrayList m_written;
    bool m_failNextSend = false;
};

/// A serial port as the system lists it.
inline SerialPortInfo listedPort(const QString &device, const QString &description, const QString &serialNumber,
                                 qint16 number, const QString &location = {}, const QString &manufacturer = {})
{
    SerialPortInfo port;
    port.device = device;
    port.description = description;
    port.serialNumber = serialNumber;
    port.manufacturer = manufacturer;
    port.location = location;
    port.number = number;
    return port;
}

/// A scripted serial port: records what is written, hands out what a test feeds.
class FakeMSComm : public MSComm
{
public:
    void setCommPort(qint16 port) override;
    qint16 commPort() const override { return m_port; }
    void setSettings(const QByteArray &s) override;
    QByteArray settings() const override { return m_settings; }
    void setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }
    void output(const QByteArray &data) override;
    qint16 inBufferCount() override;
    QByteArray input() override;
    QString deviceName(qint16 port) const override { return QStringLiteral("/dev/fake%1").arg(port); }
    QList<SerialPortInfo> presentPorts() const override { return present; }

    /// Bytes the device sent; the next Input returns everything fed since the last one.
    void feedReceived(const QByteArray &bytes) { m_received += bytes; }
    const QByteArrayList &written() const { return m_written; }
    /// The next call (not PortOpen's reading) fails.
    void injectError() { m_failNext = true; }
    /// The device goes away: once the bytes fed before are read, every call fails with "Device
    /// disconnected", and opening fails until it is back.
    void disconnect() { m_gone = m_lost = true; }
    /// The device is back: the port opens again.
    void plugBack() { m_gone = false; }

    int closeCount = 0;
    QList<SerialPortInfo> present;

private:
    /// Throws what the port would: an injected failure, a vanished device, a closed port.
    void check(bool needOpen);

    qint16 m_port = 1;
    QByteArray m_settings = "115200,n,8,1";
    bool m_open = false;
    bool m_failNext = false;
    bool m_gone = false;
    bool m_lost = false;
    QByteArray m_received;
    QByteArrayList m_written;
};

/// Answers file dialogs from a script; records what was asked.
class FakeDialog : public CommonDialog
{
public:
    void setFilter(const QString &f) override { filter = f; }
    void showOpen() override { shown << QStringLiteral("open"); }
    void showSave() override { shown << QStringLiteral("save"); }
    QString fileName() const override { return answer; }
    bool cancelled() const override { return cancel; }

    QString filter;
    QString answer;
    bool cancel = false;
    QStringList shown;
};

/// Records every message box.
class FakeMessageBox : public MessageBox
{
public:
    struct Shown {
        QString text;
        Icon icon;
        QString title;
    };
    void show(const QString &text, Icon icon, const QString &title) override;
    /// Each box as "title: text".
    QStringList lines() const;
    QList<Shown> boxes;
    /// Runs while the box is "open", as a modal box's event loop would.
    std::function<void()> whileOpen;
};

/// A fixed clock and random generator; records started commands.
class FakeSystem : public System
{
public:
    QByteArray nowText() const override { return now; }
    qint64 clockMs() const override { return clock; }
    qint64 clockUs() const override { return clock * 1000; }
    void randomize() override { ++randomized; }
    double rnd() override { return random; }
    void sleep(int ms) override { slept << ms; }
    bool startCommand(const QString &program, const QStringList &arguments) override;
    QString runtimeFolder() const override { return runtime; }

    QByteArray now = "06.12.2026 10:00:00";
    qint64 clock = 1796540400000; // 6 December 2026, 07:00:00 UTC
    double random = 0.5;
    int randomized = 0;
    QStringList commands;
    QList<int> slept; // the sleeps asked for, in milliseconds; none is taken
    QString runtime;  // empty: the working directory, where the models of one test meet
};

/// How long a test waits for what a socket, a pseudo-terminal or a process should bring: long enough for a busy
/// machine, reached only by a real fault. Every wait returns as soon as its condition holds.
inline constexpr int kPatienceMs = 120000;

/// The number of the failure a call throws; 0 when it does not fail.
template <typename F> int failureOf(F call)
{
    try {
        call();
    } catch (const Failure &f) {
        return f.number();
    }
    return 0;
}
