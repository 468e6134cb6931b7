// SPDX-License-Identifier: MIT
#include "demo.h"

#include "app/window.h"

void offerAddress(UDP &udp, const QByteArray &entry)
{
    ComboBox &list = udp.ComboRemoteIP;
    if (list.items().value(0) != entry) {
        list.RemoveItem(int(list.items().indexOf(entry)));
        list.AddItem(entry, 0);
    }
    list.setListIndex(0);
}

void offerDemoDevice(UDP &udp, quint16 port)
{
    offerAddress(udp, "127.0.0.1");
    udp.tbRemotePort.setText(QByteArray::number(port));
}
