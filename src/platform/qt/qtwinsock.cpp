// SPDX-License-Identifier: MIT
#include "qtwinsock.h"

#include "platform/failure.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QTimer>
#include <QVariant>
#include <QtEndian>

#include <algorithm>

namespace
{

// Bursts from the device must not overflow the kernel's queue while the window is busy; Linux caps this
// at net.core.rmem_max.
constexpr int kReceiveBufferSize = 4 * 1024 * 1024;
constexpr int kMaxDatagram = 65536;
// A host name that takes longer to resolve is taken as unknown; the resolver's own retries take longer.
constexpr int kLookupMs = 5000;
// A flood that the handlers cannot keep up with would hold the thread until the device paused. After this long the
// socket is read on only once the window has drawn and taken its input.
constexpr int kBurstMs = 8;

bool isBroadcast(const QHostAddress &address)
{
    if (address == QHostAddress(QHostAddress::Broadcast))
        return true;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces)
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            if (!entry.broadcast().isNull() && entry.broadcast() == address)
                return true;
    return false;
}

/// The loopback address towards a remote host on it, else this host's first address of the same protocol.
QHostAddress sourceAddress(const QHostAddress &remote)
{
    const bool ipv6 = remote.protocol() == QAbstractSocket::IPv6Protocol;
    if (remote.isLoopback())
        return QHostAddress(ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost);
    for (const QHostAddress &address : QNetworkInterface::allAddresses())
        if (!address.isLoopback() && address.protocol() == remote.protocol() && address.scopeId().isEmpty())
            return address;
    return QHostAddress(ipv6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4);
}

Failure socketFailure(const QUdpSocket &socket)
{
    switch (socket.error()) {
    case QAbstractSocket::AddressInUseError:
        return Failure(Err::SocketAddressInUse, socket.errorString());
    case QAbstractSocket::SocketAccessError:
        return Failure(Err::SocketAccessDenied, socket.errorString());
    case QAbstractSocket::DatagramTooLargeError:
        return Failure(Err::SocketMessageTooLong, socket.errorString());
    default:
        return Failure(Err::SocketInvalidArgument, socket.errorString());
    }
}

} // namespace

QtWinsock::QtWinsock(QObject *parent) : QObject(parent), m_buffer(kMaxDatagram, Qt::Uninitialized)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &QtWinsock::readPending);
}

void QtWinsock::setProtocol(Protocol protocol)
{
    if (protocol != UDP)
        throw Failure(Err::SocketInvalidArgument, QStringLiteral("Only UDP is supported"));
}

void QtWinsock::setRemotePort(qint32 port)
{
    if (port < 0 || port > 65535)
        throw Failure(Err::SocketInvalidArgument, QStringLiteral("Invalid port number: %1").arg(port));
    m_remotePort = quint16(port);
}

void QtWinsock::setRemoteHost(const QByteArray &host)
{
    const QString name = QString::fromLatin1(host.trimmed());
    // A dotted address is taken as it is; only a name costs a lookup.
    QList<QHostAddress> addresses;
    if (QHostAddress literal; literal.setAddress(name))
        addresses << literal;
    else if (!name.isEmpty())
        addresses = lookUp(name);
    // A name is reached by its IPv4 addresses, as the device has no other; an IPv6 address typed as such is
    // taken as it is.
    if (addresses.size() != 1 || addresses.first().protocol() != QAbstractSocket::IPv6Protocol)
        addresses.removeIf([](const QHostAddress &a) { return a.protocol() != QAbstractSocket::IPv4Protocol; });
    if (addresses.isEmpty())
        throw Failure(Err::SocketHostNotFound, QStringLiteral("Host not found: %1").arg(name));

    m_remote = addresses.first();
    m_accepted.clear();
    for (const QHostAddress &a : std::as_const(addresses))
        m_accepted.push_back(a.toIPv4Address());
    m_acceptAll = isBroadcast(m_remote);
    m_localAddress = sourceAddress(m_remote);
}

Winsock::Endpoint QtWinsock::endpoint(const QHostAddress &address, quint16 port)
{
    Endpoint end;
    end.port = port;
    bool ipv4 = false;
    const quint32 v4 = address.toIPv4Address(&ipv4);
    if (ipv4) {
        end.size = 4;
        qToBigEndian(v4, end.address.data());
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        end.size = 16;
        const Q_IPV6ADDR v6 = address.toIPv6Address();
        std::copy(std::begin(v6.c), std::end(v6.c), end.address.begin());
    }
    return end;
}

QList<QHostAddress> QtWinsock::lookUp(const QString &name)
{
    // The resolver works on a thread of its own while this one keeps drawing the window. User input waits, so
    // no handler starts in the middle of the one that called; a send that comes meanwhile fails.
    QEventLoop loop;
    QList<QHostAddress> found;
    bool done = false;
    const int id = QHostInfo::lookupHost(name, &loop, [&](const QHostInfo &info) {
        found = info.addresses();
        done = true;
        loop.quit();
    });
    QTimer::singleShot(kLookupMs, &loop, &QEventLoop::quit);
    m_lookingUp = true;
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_lookingUp = false;
    if (!done) {
        QHostInfo::abortHostLookup(id);
        throw Failure(Err::SocketHostNotFound, QStringLiteral("Host not found (no answer in time): %1").arg(name));
    }
    return found;
}

void QtWinsock::bind(const QByteArray &localPort)
{
    bool ok = false;
    const int port = localPort.trimmed().toInt(&ok);
    if (!ok)
        throw Failure(Err::TypeMismatch, QStringLiteral("Type mismatch: the local port is not a number"));
    if (port < 0 || port > 65535)
        throw Failure(Err::SocketInvalidArgument, QStringLiteral("Invalid port number: %1").arg(port));
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        throw Failure(Err::SocketInvalidArgument, QStringLiteral("The socket is already bound"));
    // Without DontShareAddress Qt sets SO_REUSEADDR, and Linux then lets two sockets share a busy port.
    const bool ipv6 = m_remote.protocol() == QAbstractSocket::IPv6Protocol;
    if (!m_socket.bind(ipv6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4, quint16(port),
                       QAbstractSocket::DontShareAddress))
        throw socketFailure(m_socket);
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(kReceiveBufferSize));
}

QByteArray QtWinsock::peer() const
{
    const QString host = m_remote.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + m_remote.toString() + QLatin1Char(']')
                             : m_remote.toString();
    return (host + QLatin1Char(':') + QString::number(m_remotePort)).toLatin1();
}

QByteArray QtWinsock::localIP() const
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.ip().isLoopback())
                return entry.ip().toString().toLatin1();
    }
    return "127.0.0.1";
}

qint16 QtWinsock::state() const
{
    return m_socket.state() == QAbstractSocket::BoundState ? 1 : 0;
}

void QtWinsock::sendData(const QByteArray &data)
{
    if (m_lookingUp)
        throw Failure(Err::SocketNotConnected, QStringLiteral("The remote host is still being looked up"));
    if (m_socket.state() != QAbstractSocket::BoundState)
        throw Failure(Err::SocketNotConnected, QStringLiteral("The socket is not bound"));
    if (m_socket.writeDatagram(data, m_remote, m_remotePort) != data.size())
        throw socketFailure(m_socket);
    m_sentSinceRead = true;
}

bool QtWinsock::accepted(const QHostAddress &sender, quint16 port) const
{
    // Another program on the device's host is not the device.
    if (port != m_remotePort)
        return false;
    if (m_remote.protocol() == QAbstractSocket::IPv6Protocol)
        return sender.isEqual(m_remote, QHostAddress::StrictConversion);
    const quint32 address = sender.toIPv4Address();
    return std::find(m_accepted.begin(), m_accepted.end(), address) != m_accepted.end();
}

void QtWinsock::readPending()
{
    // readyRead means a datagram waits. After one that the terminal answered, the device's reply is still on its way,
    // and the event loop tells when it comes. After one it did not answer (a data reply before its OK, a console
    // flood), the next is read at once if there is one: trying costs the one system call that asking whether one
    // waits would cost. The arrival handler may close the socket.
    if (m_turnGiven)
        return; // the socket is read again once the rest of the program has had its turn
    raiseBurst([this] {
        const QDeadlineTimer turn(kBurstMs);
        do {
            m_sentSinceRead = false;
            const qint64 size = m_socket.readDatagram(m_buffer.data(), m_buffer.size(), &m_sender, &m_senderPort);
            if (size < 0)
                return;
            if (!m_acceptAll && !accepted(m_sender, m_senderPort)) {
                ++m_dropped;
            } else {
                m_current = QByteArray(m_buffer.constData(), size);
                raiseArrival();
            }
        } while (!m_sentSinceRead && m_socket.state() == QAbstractSocket::BoundState && !turn.hasExpired());
        if (turn.hasExpired())
            giveTurn();
    });
}

void QtWinsock::giveTurn()
{
    // A socket that is still readable would be served again before anything else that waits, on Windows even before
    // the window's drawing and timers: it is read again only after what is queued now.
    m_turnGiven = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_turnGiven = false;
            readPending();
        },
        Qt::QueuedConnection);
}
