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

void offerDemoCommands(UDP &udp)
{
    udp.offerCommandList({"Simulated device",
                          {{"Version", "VER", true, 0},
                           {"List the program", "LIST", true, 0},
                           {"Station 16's version", "MDC 16,VER", true, 0},
                           {"Modbus port setup", "UART 2,7", true, 0},
                           {"Version, ended by CR alone", "VER\r", false, 0},
                           {"Version every second", "VER", true, 1000}}});
}
