// SPDX-License-Identifier: MIT
#include "demo.h"

#include "app/window.h"

void offerDemoDevice(UDP &udp, quint16 port)
{
    const QByteArray loopback = "127.0.0.1";
    if (udp.ComboRemoteIP.items().value(0) != loopback)
        udp.ComboRemoteIP.AddItem(loopback, 0);
    udp.ComboRemoteIP.setListIndex(0);
    udp.tbRemotePort.setText(QByteArray::number(port));
}
