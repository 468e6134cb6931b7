// SPDX-License-Identifier: MIT
#pragma once

#include "platform/winsock.h"

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <vector>

/// The datagram socket over QUdpSocket. Only datagrams from the remote host and port reach the arrival handler. A
/// remote host given by name is looked up while the window keeps drawing, for a few seconds at most.
class QtWinsock : public QObject, public Winsock
{
    Q_OBJECT
public:
    explicit QtWinsock(QObject *parent = nullptr);

    void setProtocol(Protocol protocol) override;
    void setRemotePort(qint32 port) override;
    void setRemoteHost(const QByteArray &host) override;
    void bind(const QByteArray &localPort) override;
    QByteArray peer() const override;
    QByteArray localIP() const override;
    qint16 state() const override;
    void sendData(const QByteArray &data) override;
    QByteArray getData() override { return m_current; }
    Endpoint sender() const override { return endpoint(m_sender, m_senderPort); }
    Endpoint remote() const override { return endpoint(m_remote, m_remotePort); }
    Endpoint local() const override { return endpoint(m_localAddress, m_socket.localPort()); }
    void close() override { m_socket.close(); }
    quint64 droppedCount() const override { return m_dropped; }

    quint16 localPort() const override { return m_socket.localPort(); }

private:
    static Endpoint endpoint(const QHostAddress &address, quint16 port);
    void readPending();
    void giveTurn();
    /// A datagram from `sender` and `port` is the device's.
    bool accepted(const QHostAddress &sender, quint16 port) const;
    /// The addresses of a host name, looked up with the event loop running, for a few seconds at most.
    QList<QHostAddress> lookUp(const QString &name);

    QUdpSocket m_socket;
    QHostAddress m_remote;
    quint16 m_remotePort = 0;
    /// The remote host's IPv4 addresses (an IPv6 remote host has one address, m_remote); a datagram from any other
    /// address is dropped.
    std::vector<quint32> m_accepted;
    /// The remote host is a broadcast address, so every host may answer.
    bool m_acceptAll = false;
    QByteArray m_current;
    quint64 m_dropped = 0;
    /// One datagram at most: the largest IPv4 UDP payload fits.
    QByteArray m_buffer;
    QHostAddress m_sender;
    quint16 m_senderPort = 0;
    /// The address datagrams to the remote host leave from, as far as it can be told without sending.
    QHostAddress m_localAddress;
    bool m_lookingUp = false;
    /// A datagram went out since the last one was read: the device's answer to it is still on its way.
    bool m_sentSinceRead = false;
    bool m_turnGiven = false; // a burst ran out of time: the socket waits for its next read
};
