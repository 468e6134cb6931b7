// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "platform/mscomm.h"
#include "platform/system.h"
#include "platform/winsock.h"

namespace
{
/// A command to the device's interpreter: as a datagram, then on the serial port when it is open.
void sendCommand(UDP &w, const QByteArray &datagram, QByteArray serial)
{
    w.RetVal = w.UDP_Send(datagram + CRLF);
    if (w.MSComm1.portOpen()) {
        w.Pic.setFillColor(Colour::SendGreen);
        serial += CRLF;
        w.RetVal = w.WriteCOM32(serial);
    }
}
} // namespace

void UDP::Command11_Click()
{
    tbSendData.SetFocus();
    if (Winsock1.state() != 1 && !MSComm1.portOpen()) {
        refuse(Why::NotConnected);
        return;
    }
    try {
        const QString name = ProgChooseFile(true);
        if (name.isEmpty())
            return;
        const qint16 number = files.FreeFile();
        files.openOutput(number, name);
        ProgFileNum = number;
        m_system.sleep(100);
        m_listingHead.clear();
        m_listingMidLine = false;
        m_listingCR = false;
        ProgSaveMode = 1;
        // The serial side of the device takes the command with a lower-case final t.
        sendCommand(*this, "LIST", "LISt");
    } catch (const Failure &failure) {
        showFailure(failure);
    }
}

void UDP::Command12_Click()
{
    tbSendData.SetFocus();
    if (Winsock1.state() != 1 && !MSComm1.portOpen())
        refuse(Why::NotConnected);
    // The device takes about 20 seconds to erase; the button's caption tells the user so.
    sendCommand(*this, "NEW", "NEW");
}

void UDP::Command13_Click()
{
    tbSendData.SetFocus();
    if (Winsock1.state() != 1 && !MSComm1.portOpen())
        refuse(Why::NotConnected);
    RetVal = UDP_Send(QByteArray("VER") + CRLF);
    // WriteCOM32 writes nothing while the port is closed.
    QByteArray command = QByteArray("VER") + CRLF;
    RetVal = WriteCOM32(command);
}
