// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "platform/mscomm.h"
#include "platform/system.h"
#include "platform/winsock.h"

#include <utility>

namespace
{
// Virtual-key codes of the keys the command line acts on.
constexpr qint16 vbKeyBack = 8;
constexpr qint16 vbKeyReturn = 13;
constexpr qint16 vbKeyLeft = 37;
constexpr qint16 vbKeyUp = 38;
constexpr qint16 vbKeyRight = 39;
constexpr qint16 vbKeyDown = 40;
constexpr qint16 vbKeyDelete = 46;

constexpr qint16 kOldestSlot = 32;
} // namespace

qint16 UDP::UDP_Send(const QByteArray &UDPString)
{
    m_sendFailure.reset();
    try {
        if (Winsock1.state() != 1)
            return 0;
        if (Check2.Value() == 0) {
            const QByteArray datagram = lineToSend(UDPString);
            Winsock1.sendData(datagram);
            monitorSent(datagram);
            countSent(datagram.size());
        } else {
            // The device passes the command on to the Modbus station named in Text4; the command's own
            // CR LF moves behind the wrapping.
            if (UDPString.size() < 2)
                return 0;
            const QByteArray wrapped = "MDC " + Text4.Text() + ',' + UDPString.chopped(2) + CRLF;
            Winsock1.sendData(wrapped);
            monitorSent(wrapped);
            countSent(wrapped.size());
        }
        return 1;
    } catch (const Failure &failure) {
        m_sendFailure = failure;
        return 0;
    }
}

void UDP::cbSendData_Click()
{
    if (cbBind.Enabled())
        return;
    RetVal = UDP_Send(tbSendData.Text() + CRLF);
    typedLineSent();
}

void UDP::typedLineSent()
{
    if (m_sendFailure) {
        // Not sent, so neither echoed nor logged; the line stays to be sent again.
        tbSendData.SetFocus();
        const Failure failure = *m_sendFailure;
        showFailure(failure);
        return;
    }
    // A password goes to the device as typed; the pane and the log only count its characters. Only a line
    // that went out uses the password up: one typed with no link up is still the password.
    const QByteArray shown =
        std::exchange(m_passwordDue, false) ? QByteArray(tbSendData.Text().size(), '*') : tbSendData.Text();
    logLine(shown);
    // Appending costs only the echo, however long the console has grown. The time-stamp view marks it as sent.
    tbReceiveData.append(CRLF);
    tbReceiveData.appendSent(shown, m_system.clockMs());
    tbReceiveData.caretToEnd();
    tbSendData.setText({});
    tbSendData.SetFocus();
}

void UDP::spotPasswordPrompt(const QByteArray &reply, bool piece)
{
    const QByteArray seen = piece ? m_promptTail + reply : reply;
    if (seen.contains("Passwor"))
        m_passwordDue = true;
    // Enough of the end for the prompt to be completed by the next piece.
    if (piece)
        m_promptTail = seen.right(6);
}

void UDP::tbSendData_KeyDown(qint16 &KeyCode, qint16 Shift)
{
    Q_UNUSED(Shift); // Shift, Ctrl and Alt with a key act like the bare key
    switch (KeyCode) {
    case vbKeyDelete:
    case vbKeyLeft:
    case vbKeyRight:
    case vbKeyBack:
        // The line is being edited: Enter stores it again.
        HistRecalled = 0;
        break;
    case vbKeyUp:
        KeyCode = 0;
        HistIndex = qMin<qint16>(HistIndex + 1, kOldestSlot);
        if (!CmdHistory[HistIndex].isEmpty()) {
            tbSendData.setText(CmdHistory[HistIndex]);
            HistRecalled = 1;
            tbSendData.caretToEnd();
        } else {
            --HistIndex;
        }
        break;
    case vbKeyDown:
        KeyCode = 0;
        HistIndex = qMax<qint16>(HistIndex - 1, 0);
        if (CmdHistory[HistIndex].isEmpty() && HistIndex != 0) {
            ++HistIndex;
        } else {
            // Slot 0 is always empty: Down past the newest line clears the command line.
            tbSendData.setText(CmdHistory[HistIndex]);
            HistRecalled = HistIndex > 0 ? 1 : 0;
            tbSendData.caretToEnd();
        }
        break;
    default:
        break;
    }
}

void UDP::tbSendData_KeyPress(qint16 &KeyAscii)
{
    if (KeyAscii != vbKeyReturn)
        return;
    KeyAscii = 0;
    // A password is not kept for Up to bring back.
    if (!tbSendData.Text().isEmpty() && HistRecalled == 0 && !m_passwordDue) {
        for (int slot = kOldestSlot - 1; slot >= 1; --slot)
            CmdHistory[slot + 1] = CmdHistory[slot];
        CmdHistory[1] = tbSendData.Text();
    }
    HistRecalled = 0;
    HistIndex = 0;
    // Only the active transport sends, echoes and logs the line.
    if (m_deviceGone)
        refuse(Why::DeviceGone, m_goneBox);
    else if (cbBind.Enabled() && !MSComm1.portOpen())
        refuse(Why::NotConnected);
    cbSendData_Click();
    Command6_Click();
    tbReceiveData.append(CRLF);
    tbReceiveData.caretToEnd();
}
