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

void FakeWinsock::sendData(const QByteArray &data)
{
    if (m_state != 1)
        throw Failure(Err::SocketNotConnected, QStringLiteral("Socket is not connected"));
    if (std::exchange(m_failNextSend, false))
        throw Failure(Err::SocketInvalidArgument, QStringLiteral("Send failed"));
    m_written << data;
}

void FakeWinsock::feedReceived(const QByteArray &datagram)
{
    m_current = datagram;
    raiseArrival();
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
