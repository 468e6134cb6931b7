// SPDX-License-Identifier: MIT
#include "address.h"
#include "app/window.h"

#include "platform/mscomm.h"
#include "platform/system.h"
#include "platform/winsock.h"

#include <QtGlobal>

#include <algorithm>
#include <limits>

namespace
{
/// The remote port box as a 32-bit number; blanks around it are allowed, anything else fails.
qint32 toLong(const QByteArray &text)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok)
        throw Failure(Err::TypeMismatch, QStringLiteral("Type mismatch"));
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        throw Failure(Err::Overflow, QStringLiteral("Overflow"));
    return qint32(value);
}

/// The port of a "host:port" entry: 1 to 65535, or the failure that names what was typed instead.
qint32 entryPort(const QByteArray &text)
{
    if (const quint16 port = Address::port(text))
        return port;
    const bool digits =
        !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits)
        throw Failure(Err::Overflow, QStringLiteral("Overflow"));
    throw Failure(Err::TypeMismatch, QStringLiteral("Type mismatch"));
}

/// The address as canonical dotted IPv4 text ("10.0.0.7", blanks around it allowed); empty for anything else,
/// a host name included.
QString dottedAddress(const QByteArray &host)
{
    const QList<QByteArray> parts = host.trimmed().split('.');
    if (parts.size() != 4)
        return {};
    for (const QByteArray &part : parts) {
        const bool digits = !part.isEmpty() && part.size() <= 3 &&
                            std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
        // No leading zeros: some resolvers read "010" as octal.
        if (!digits || (part.size() > 1 && part[0] == '0') || part.toInt() > 255)
            return {};
    }
    return QString::fromLatin1(host.trimmed());
}

/// Drops the system's neighbour (ARP) entry of the device's address, so that a device that changed its
/// network card is found again; the rest of the machine's table is left alone. A host name is not resolved
/// until the socket binds, and it names no entry here: nothing is flushed for it. Started and forgotten: the
/// link never depends on it, and a flush that fails for lack of rights is harmless.
void flushArpEntry(System &system, const QByteArray &host)
{
    const QString address = dottedAddress(host);
    if (address.isEmpty())
        return;
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    system.startCommand(QStringLiteral("arp"), {QStringLiteral("-d"), address});
#else
    system.startCommand(QStringLiteral("ip"),
                        {QStringLiteral("neigh"), QStringLiteral("flush"), QStringLiteral("to"), address});
#endif
}
} // namespace

void UDP::cbBind_Click()
{
    tbSendData.setText({});
    // The serial port is the active transport, also while its device is gone and awaited: the two never run
    // together.
    if (MSComm1.portOpen() || waitingForDevice()) {
        refuse(Why::SerialOpen);
        return;
    }
    // "host:port" names the device's port for this Connect; a bare host goes to the remote port box's.
    const Address::HostPort target = Address::split(ComboRemoteIP.Text());
    const QByteArray portText = target.hasPort ? target.port : tbRemotePort.Text();
    flushArpEntry(m_system, target.host);
    // What the step under way is about, should it fail.
    Why why = Why::RemotePortNotNumber;
    QByteArray what = portText;
    try {
        Winsock1.setProtocol(Winsock::UDP);
        const qint32 port = target.hasPort ? entryPort(target.port) : toLong(portText);
        why = Why::RemotePortRange;
        Winsock1.setRemotePort(port);
        why = target.host.isEmpty() ? Why::NoAddress : Why::HostNotFound;
        what = target.host;
        // The box's text goes to the socket as typed, unless it named a port or held brackets.
        Winsock1.setRemoteHost(target.host == ComboRemoteIP.Text().trimmed() ? ComboRemoteIP.Text() : target.host);
        why = Why::LocalPortInUse;
        what = tbLocalPort.Text().trimmed();
        Winsock1.bind(tbLocalPort.Text());
        cbBind.setEnabled(false);
        cbSendData.setEnabled(true);
        YesConnect.setVisible(true);
        NoConnect.setVisible(false);
        Text1.setText(Winsock1.localIP());
        tbSendData.SetFocus();
        Frame6.setEnabled(true);
        Frame2.setEnabled(true);
        const bool ipv6 = target.host.contains(':');
        linkChanged((ipv6 ? '[' + target.host + ']' : target.host) + ':' + QByteArray::number(port));
    } catch (const Failure &failure) {
        if (why == Why::RemotePortNotNumber && failure.number() == int(Err::Overflow))
            why = Why::RemotePortRange;
        // Connect fails without a box: the user sees the Connect button come back, and the status line says why.
        Winsock1.close();
        cbBind.setEnabled(true);
        cbSendData.setEnabled(false);
        linkChanged({});
        if (why == Why::LocalPortInUse && failure.number() != int(Err::SocketAddressInUse))
            refuse(Why::ConnectFailed, failure.description().toLocal8Bit());
        else
            refuse(why, what);
    }
}

void UDP::Command1_Click()
{
    tbSendData.setText({});
    if (MSComm1.portOpen() || waitingForDevice()) {
        refuse(Why::SerialOpen);
        return;
    }
    // A transfer ends with its link: the replies of the next link are not its blocks.
    if (FlashWriting == 1 || FlashReading == 1)
        FlashStop();
    Winsock1.close();
    cbBind.setEnabled(true);
    cbSendData.setEnabled(false);
    YesConnect.setVisible(false);
    NoConnect.setVisible(true);
    Frame6.setEnabled(false);
    Frame2.setEnabled(false);
    linkChanged({});
}
