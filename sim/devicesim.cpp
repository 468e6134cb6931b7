// SPDX-License-Identifier: MIT
#include "devicesim.h"

#include <QUdpSocket>
#include <QVariant>

#include <cstdio>

namespace
{

// Loopback floods arrive faster than one event-loop turn drains them.
constexpr int kSocketBufferSize = 4 * 1024 * 1024;

void trace(const char *direction, const QHostAddress &address, quint16 port, QByteArrayView bytes)
{
    std::fprintf(stderr, "%s %s:%u \"%s\"\n", direction, address.toString().toLatin1().constData(), unsigned(port),
                 DeviceConsole::escaped(bytes).constData());
}

} // namespace

DeviceSim::DeviceSim(Options options, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_console(m_options.console())
{
}

DeviceSim::~DeviceSim()
{
    stop();
}

bool DeviceSim::start(QString *error)
{
    stop();
    if (!m_console.prepare(error))
        return false;
    m_socket = new QUdpSocket(this);
    if (!m_socket->bind(m_options.address, m_options.port)) {
        if (error)
            *error = QStringLiteral("cannot bind UDP port %1 on %2 (%3)")
                         .arg(m_options.port)
                         .arg(m_options.address.toString(), m_socket->errorString());
        delete m_socket;
        m_socket = nullptr;
        return false;
    }
    m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kSocketBufferSize);
    m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSocketBufferSize);
    connect(m_socket, &QUdpSocket::readyRead, this, &DeviceSim::readPending);
    return true;
}

quint16 DeviceSim::port() const
{
    return m_socket ? m_socket->localPort() : 0;
}

void DeviceSim::stop()
{
    m_console.reset();
    delete m_socket;
    m_socket = nullptr;
}

void DeviceSim::readPending()
{
    while (m_socket && m_socket->hasPendingDatagrams()) {
        const qint64 size = m_socket->pendingDatagramSize();
        if (size < 0)
            break;
        m_rx.resize(qMax<qint64>(size, 1));
        QHostAddress address;
        quint16 port = 0;
        const qint64 got = m_socket->readDatagram(m_rx.data(), m_rx.size(), &address, &port);
        // An ICMP error from an earlier reply surfaces here; the notifier brings us back for real data.
        if (got < 0)
            break;
        m_rx.resize(got);
        if (m_options.verbose)
            trace("<-", address, port, m_rx);
        // Each sending host passes the login prompts once.
        m_console.handle(m_rx, address.toString(),
                         [this, address, port](QByteArrayView line) { reply(address, port, line); });
    }
}

void DeviceSim::reply(const QHostAddress &address, quint16 port, QByteArrayView line)
{
    if (!m_socket)
        return;
    m_tx.truncate(0);
    m_tx.append(line).append("\r\n");
    if (m_options.verbose)
        trace("->", address, port, m_tx);
    m_socket->writeDatagram(m_tx, address, port);
}
