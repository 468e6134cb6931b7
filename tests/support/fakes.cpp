// SPDX-License-Identifier: MIT
#include "fakes.h"

#include "app/failure.h"

void FakeWinsock::setRemotePort(qint32 port)
{
    if (port < 0 || port > 65535)
        throw Failure(Err::SocketInvalidArgument, QStringLiteral("Invalid argument"));
    remotePort = port;
}

void FakeWinsock::setRemoteHost(const QByteArray &host)
{
    if (host.isEmpty())
        throw Failure(Err::SocketHostNotFound, QStringLiteral("Host not found"));
    remoteHost = host;
}

void FakeWinsock::bind(const QByteArray &localPort)
{
    bool ok = false;
    const int port = localPort.trimmed().toInt(&ok);
    if (!ok)
        throw Failure(Err::TypeMismatch, QStringLiteral("Type mismatch"));
    if (port < 0 || port > 65535)
        throw Failure(Err::SocketInvalidArgument, QStringLiteral("Invalid argument"));
    if (busyPorts.contains(quint16(port)))
        throw Failure(Err::SocketAddressInUse, QStringLiteral("Address in use"));
    boundPort = quint16(port);
    m_state = 1;
}

void FakeWinsock::sendData(const QByteArray &data)
{
    if (m_state != 1)
        throw Failure(Err::SocketNotConnected, QStringLiteral("Socket is not connected"));
    if (std::exchange(m_failNextSend, false))
        throw Failure(Err::SocketInvalidArgument, QStringLiteral("Send failed"));
    m_written << data;
    if (onSend)
        onSend(data);
}

void FakeWinsock::feedReceived(const QByteArray &datagram)
{
    m_current = datagram;
    raiseArrival();
}

void FakeMSComm::setCommPort(qint16 port)
{
    if (port < 1)
        throw Failure(Err::InvalidPortNumber, QStringLiteral("Invalid port number"));
    m_port = port;
}

void FakeMSComm::setPortOpen(bool open)
{
    if (open && failOpen)
        throw Failure(Err::PortAlreadyOpen, QStringLiteral("Port already open"));
    if (!open && m_open)
        ++closeCount;
    m_open = open;
}

void FakeMSComm::output(const QByteArray &data)
{
    if (!m_open)
        throw Failure(Err::PortNotOpen, QStringLiteral("Port not open"));
    m_out += data;
}

void FakeMessageBox::show(const QString &text, Icon icon, const QString &title)
{
    boxes.append({text, icon, title});
    if (whileOpen)
        whileOpen();
}

bool FakeSystem::startCommand(const QString &program, const QStringList &arguments)
{
    commands << (QStringList{program} + arguments).join(QLatin1Char(' '));
    return true;
}
