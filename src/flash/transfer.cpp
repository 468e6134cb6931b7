// SPDX-License-Identifier: MIT
#include "app/udp.h"

void UDP::Command3_Click() {}
void UDP::Command4_Click() {}
void UDP::Command5_Click() {}
void UDP::FlashWriteReply(const QByteArray &) {}
void UDP::FlashReadReply(const QByteArray &) {}
qint16 UDP::Decode(QByteArray) { return 0; }
qint16 UDP::Decode2(QByteArray) { return 0; }
