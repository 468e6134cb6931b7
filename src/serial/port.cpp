// SPDX-License-Identifier: MIT
#include "app/window.h"
#include "portname.h"

#include "platform/mscomm.h"
#include "platform/winsock.h"

void UDP::BTNOpenCom_Click()
{
    tbSendData.setText({});
    if (Winsock1.state() == 1)
        return;
    // The serial port control arrives with the serial port work.
}

void UDP::Command8_Click()
{
    if (Check3.Value() != 1 || !MSComm1.portOpen())
        return;
    // Straight to the port: never framed or wrapped, not logged, not echoed.
    try {
        MSComm1.output(QByteArray("UART 2,7") + CRLF);
    } catch (const Failure &) {
        // No failure handler of its own: the window keeps running.
    }
}

void UDP::Command7_Click()
{
    tbSendData.SetFocus();
    if (Winsock1.state() != 1)
        return;
    // Straight to the socket: never wrapped as an "MDC " command, even with Check2 set.
    try {
        Winsock1.sendData(QByteArray("UART 2,7") + CRLF);
    } catch (const Failure &) {
        // No failure handler of its own: the window keeps running.
    }
}

void UDP::Check1_Click()
{
    tbSendData.SetFocus();
}

void UDP::Comm_number_Change()
{
    try {
        Comm_number.setToolTipText(MSComm1.deviceName(commPortNumber(Comm_number.Text())).toLocal8Bit());
    } catch (const Failure &) {
        Comm_number.setToolTipText({});
    }
}
