// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "modbus.h"

#include "platform/mscomm.h"

qint16 UDP::WriteCOM32(QByteArray &COMString)
{
    Q_UNUSED(COMString);
    ModbusRxBuf.clear();
    return 0; // the serial send arrives with the serial port work
}

QByteArray UDP::CRC16(const QByteArray &sString)
{
    return Modbus::crcBytes(sString);
}

void UDP::Command6_Click()
{
    if (!MSComm1.portOpen())
        return;
    // The serial send arrives with the serial port work.
}

void UDP::Check2_Click()
{
    // While commands go to a Modbus station, the flash disk cannot be reached.
    Frame2.setEnabled(Check2.Value() != 1);
}
