// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <array>
#include <functional>

/// The window's one datagram socket. Failures are thrown as Failure.
class Winsock
{
public:
    enum Protocol { TCP = 0, UDP = 1 };
    /// One end of a datagram: an IPv4 (4 bytes) or IPv6 (16 bytes) address in network order, and a port.
    struct Endpoint {
        std::array<quint8, 16> address{};
        quint8 size = 0; // 4 or 16; 0 when not known
        quint16 port = 0;
        bool operator==(const Endpoint &) const = default;
    };
    virtual ~Winsock() = default;

    /// Only UDP is used; it makes the socket a datagram socket.
    virtual void setProtocol(Protocol protocol) = 0;
    /// Later sends go to this port; a port outside 0..65535 fails the call.
    virtual void setRemotePort(qint32 port) = 0;
    /// Later sends go to this host (dotted address or host name); an unknown host fails the call.
    virtual void setRemoteHost(const QByteArray &host) = 0;
    /// Binds the local port given as decimal text; a bad or busy port fails the call and State is then not 1.
    virtual void bind(const QByteArray &localPort) = 0;
    /// Where datagrams go, as the system writes the address: "10.0.0.7:111", "[::1]:5111". However the host was
    /// spelled ("localhost", "[::1]"), one device gives one text.
    virtual QByteArray peer() const = 0;
    /// This host's IPv4 address as dotted text.
    virtual QByteArray localIP() const = 0;
    /// The local port the socket is bound to (the system's choice when bound to port 0); 0 when not bound.
    virtual quint16 localPort() const = 0;
    /// 1 means bound and usable; every other value means not usable.
    virtual qint16 state() const = 0;
    /// The bytes go out unchanged as one datagram to the remote host and port; a failure fails the call, and
    /// more than the 65,507 bytes a UDP datagram carries fails with 10040.
    virtual void sendData(const QByteArray &data) = 0;
    /// The whole payload of the datagram that raised the arrival event.
    virtual QByteArray getData() = 0;
    /// Where the datagram that raised the arrival event came from.
    virtual Endpoint sender() const = 0;
    /// Where sends go: the remote host as looked up, and the remote port; no address before a host is set.
    virtual Endpoint remote() const = 0;
    /// This end: the address datagrams leave from (the loopback address towards a remote host on it), and the
    /// bound port.
    virtual Endpoint local() const = 0;
    /// Unbinds; harmless when not bound.
    virtual void close() = 0;
    /// Datagrams from hosts or ports other than the remote host's and port, dropped before the arrival event; after
    /// a broadcast, every host and port may answer.
    virtual quint64 droppedCount() const = 0;

    /// Raised once per arriving datagram, on the user-interface thread.
    void setArrivalHandler(std::function<void()> handler) { m_arrival = std::move(handler); }
    /// Wraps the arrival events of the datagrams read in one go, before the thread turns to other events: the
    /// handler calls `arrivals` once, and may act before and after all of them.
    using Burst = std::function<void(const std::function<void()> &arrivals)>;
    void setBurstHandler(Burst handler) { m_burst = std::move(handler); }

protected:
    void raiseArrival()
    {
        if (m_arrival)
            m_arrival();
    }
    /// Runs `arrivals`, which raises the arrival event of each datagram read in one go, inside the burst handler.
    void raiseBurst(const std::function<void()> &arrivals) { m_burst ? m_burst(arrivals) : arrivals(); }

private:
    std::function<void()> m_arrival;
    Burst m_burst;
};
