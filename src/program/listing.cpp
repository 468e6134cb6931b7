// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "platform/mscomm.h"
#include "platform/system.h"
#include "platform/winsock.h"

#include <QFileInfo>

namespace
{
/// The listing goes into a file beside the one chosen, which it replaces only once the device's OK has come:
/// "keep.bas" lists into "keep.partial.bas", or "keep.partial2.bas" when a file of that name is there already.
QString partialName(const QString &target)
{
    const QFileInfo info(target);
    const QString folder = target.left(target.size() - info.fileName().size());
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 1;; ++n) {
        const QString name = folder + info.completeBaseName() + QStringLiteral(".partial") +
                             (n > 1 ? QString::number(n) : QString()) + suffix;
        if (!QFileInfo::exists(name))
            return name;
    }
}
} // namespace

void UDP::ProgCommand(const QByteArray &datagram, QByteArray serial)
{
    RetVal = UDP_Send(datagram + CRLF);
    std::optional<Failure> refused = m_sendFailure;
    if (MSComm1.portOpen()) {
        Pic.setFillColor(Colour::SendGreen);
        serial += CRLF;
        RetVal = WriteCOM32(serial);
        refused = m_sendFailure;
    }
    // Told, or the user would wait for an answer to a command that never went out.
    if (refused)
        throw Failure(
            Err(refused->number()),
            QStringLiteral("%1 cannot be sent: %2").arg(QString::fromLatin1(datagram), refused->description()));
}

void UDP::Command11_Click()
{
    tbSendData.SetFocus();
    if (Winsock1.state() != 1 && !MSComm1.portOpen()) {
        refuse(Why::NotConnected);
        return;
    }
    if (!lockDevice())
        return;
    try {
        const QString name = ProgChooseFile(true);
        if (name.isEmpty())
            return;
        const QString partial = partialName(name);
        const qint16 number = files.FreeFile();
        files.openPartial(number, name, partial);
        ProgFileNum = number;
        m_listingTarget = name;
        m_listingPartial = partial;
        m_system.sleep(100);
        m_listing = {};
        ProgSaveMode = 1;
        try {
            // The serial side of the device takes the command with a lower-case final t.
            ProgCommand("LIST", "LISt");
        } catch (const Failure &) {
            ProgListingDrop(); // no listing will come, and the box says why
            ProgSaveMode = 0;
            throw;
        }
    } catch (const Failure &failure) {
        showFailure(failure);
    }
}

void UDP::Command12_Click()
{
    tbSendData.SetFocus();
    const bool linked = Winsock1.state() == 1 || MSComm1.portOpen();
    if (!linked)
        refuse(Why::NotConnected);
    else if (!lockDevice())
        return;
    // The device takes about 20 seconds to erase; the button's caption tells the user so.
    try {
        ProgCommand("NEW", "NEW");
        if (linked)
            newSent();
    } catch (const Failure &failure) {
        showFailure(failure);
    }
}

void UDP::Command13_Click()
{
    tbSendData.SetFocus();
    if (Winsock1.state() != 1 && !MSComm1.portOpen())
        refuse(Why::NotConnected);
    RetVal = UDP_Send(QByteArray("VER") + CRLF);
    std::optional<Failure> refused = m_sendFailure;
    // WriteCOM32 writes nothing while the port is closed.
    QByteArray command = QByteArray("VER") + CRLF;
    RetVal = WriteCOM32(command);
    if (MSComm1.portOpen())
        refused = m_sendFailure;
    if (refused)
        showFailure(Failure(Err(refused->number()), QStringLiteral("VER cannot be sent: ") + refused->description()));
}
