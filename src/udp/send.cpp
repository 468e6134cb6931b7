// SPDX-License-Identifier: MIT
#include "app/udp.h"

qint16 UDP::UDP_Send(const QByteArray &) { return 0; }
void UDP::cbSendData_Click() {}
void UDP::tbSendData_KeyDown(qint16 &, qint16) {}
void UDP::tbSendData_KeyPress(qint16 &) {}
