// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "platform/mscomm.h"
#include "platform/system.h"
#include "platform/winsock.h"

#include <QtGlobal>

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

/// Empties the system's ARP cache, so that a device that changed its network card is found again.
/// Started and forgotten: the link never depends on it, and a flush that fails for lack of rights is harmless.
void flushArpCache(System &system)
{
#if defined(Q_OS_WIN)
    system.startCommand(QStringLiteral("arp"), {QStringLiteral("-d"), QStringLiteral("*")});
#elif defined(Q_OS_MACOS)
    system.startCommand(QStringLiteral("arp"), {QStringLiteral("-a"), QStringLiteral("-d")});
#else
    system.startCommand(QStringLiteral("ip"),
                        {QStringLiteral("neigh"), QStringLiteral("flush"), QStringLiteral("all")});
#endif
}
} // namespace

void UDP::cbBind_Click()
{
    tbSendData.setText({});
    // The serial port is the active transport: the two never run together.
    if (MSComm1.portOpen())
        return;
    flushArpCache(m_system);
    try {
        Winsock1.setProtocol(Winsock::UDP);
        Winsock1.setRemotePort(toLong(tbRemotePort.Text()));
        Winsock1.setRemoteHost(ComboRemoteIP.Text());
        Winsock1.bind(tbLocalPort.Text());
        cbBind.setEnabled(false);
        cbSendData.setEnabled(true);
        YesConnect.setVisible(true);
        NoConnect.setVisible(false);
        Text1.setText(Winsock1.localIP());
        tbSendData.SetFocus();
        Frame6.setEnabled(true);
        Frame2.setEnabled(true);
    } catch (const Failure &) {
        // Connect fails silently: the user sees the Connect button come back.
        Winsock1.close();
        cbBind.setEnabled(true);
        cbSendData.setEnabled(false);
    }
}

void UDP::Command1_Click()
{
    tbSendData.setText({});
    if (MSComm1.portOpen())
        return;
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
}
