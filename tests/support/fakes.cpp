// SPDX-License-Identifier: MIT
#include "fakes.h"

#include "platform/failure.h"

void FakeWinsock::bind(const QByteArray &localPort)
{
    if (busyPorts.contains(localPort.toUShort()))
        throw Failure(Err::SocketAddressInUse, QStringLiteral("Address in use"));
    boundPort = localPort.toUShort();
    m_state = 1;
}

void FakeWinsock::setRemoteHost(const QByteArray &host)
{
    if (host.endsWith(".invalid"))
        throw Failure(Err::SocketHostNotFound, QStringLiteral("Host not found: %1").arg(QString::fromLatin1(host)));
    remoteHost = host;
}

void FakeWinsock::sendData(const QByteArray &data)
{
    if (m_state != 1)
        throw Failure(Err::SocketNotConnected, QStringLiteral("Socket is not connected"));
    if (std::exchange(m_failNextSend, false))
        throw Failure(Err::SocketInvalidArgument, QStringLiteral("Send failed"));
    if (data.size() > 65507)
        throw Failure(Err::SocketMessageTooLong, QStringLiteral("Datagram was too large to send"));
    if (onSend)
        onSend(data);
    m_written << data;
}

void FakeWinsock::feedReceived(const QByteArray &datagram)
{
    feedBurst({datagram});
}

void FakeWinsock::feedBurst(const QByteArrayList &datagrams)
{
    raiseBurst([&] {
        for (const QByteArray &datagram : datagrams) {
            m_current = datagram;
            raiseArrival();
        }
    });
}

void FakeMSComm::check(bool needOpen)
{
    if (std::exchange(m_failNext, false))
        throw Failure(Err::DeviceIOError, QStringLiteral("Device I/O error"));
    if (needOpen && m_lost && m_open)
        throw Failure(Err::DeviceDisconnected, QStringLiteral("Device disconnected: %1").arg(deviceName(m_port)));
    if (needOpen && !m_open)
        throw Failure(Err::PortNotOpen, QStringLiteral("Port not open"));
}

void FakeMSComm::setCommPort(qint16 port)
{
    check(false);
    if (port < 1)
        throw Failure(Err::InvalidPortNumber, QStringLiteral("Invalid port number: %1").arg(port));
    m_port = port;
}

void FakeMSComm::setSettings(const QByteArray &s)
{
    check(false);
    m_settings = s;
}

void FakeMSComm::setPortOpen(bool open)
{
    check(false);
    if (!open) {
        closeCount += int(m_open);
        m_open = m_lost = false;
        m_received.clear();
        return;
    }
    if (m_open)
        throw Failure(Err::PortAlreadyOpen, QStringLiteral("Port already open"));
    if (m_gone)
        throw Failure(Err::InvalidPortNumber, QStringLiteral("No device for port %1").arg(m_port));
    m_open = true;
}

void FakeMSComm::output(const QByteArray &data)
{
    check(true);
    m_written << data;
}

qint16 FakeMSComm::inBufferCount()
{
    check(!m_open || m_received.isEmpty());
    return qint16(qMin<qsizetype>(m_received.size(), 32767));
}

QByteArray FakeMSComm::input()
{
    check(!m_open || m_received.isEmpty());
    return std::exchange(m_received, QByteArray());
}

void FakeMessageBox::show(const QString &text, Icon icon, const QString &title)
{
    boxes.append({text, icon, title});
    if (whileOpen)
        whileOpen();
}

QStringList FakeMessageBox::lines() const
{
    QStringList shown;
    for (const Shown &box : boxes)
        shown << box.title + QStringLiteral(": ") + box.text;
    return shown;
}

bool FakeSystem::startCommand(const QString &program, const QStringList &arguments)
{
    commands << (QStringList{program} + arguments).join(QLatin1Char(' '));
    return true;
}
