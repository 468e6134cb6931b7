// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "platform/mscomm.h"

void UDP::TMRComm_Timer()
{
    RxText.clear();
    CrcCalc.clear();
    CrcRecv.clear();
    try {
        // The indicator blinks every nine ticks, whether or not anything arrives.
        if (++PortBlinkCount == 10) {
            PortBlinkCount = 1;
            Pic.setFillColor(Pic.FillColor() == Colour::White ? Colour::Grey : Colour::White);
        }
        RetVal = MSComm1.inBufferCount();
        if (RetVal == 0) {
            // After 100 ms of silence a partial reply will never be completed.
            if (++PortIdleCount > 4) {
                PortIdleCount = 5;
                ModbusRxBuf.clear();
            }
            return;
        }
        PortIdleCount = 0;
        RxText = MSComm1.input();
    } catch (const Failure &failure) {
        // A failing tick ends quietly and the next starts normally; only a vanished device is told.
        if (failure.number() == int(Err::DeviceDisconnected))
            portLost(failure);
        return;
    }
    monitorRead(RxText);
    countReceived(RxText.size());
    logRaw(RxText);
    Pic.setFillColor(Colour::Red);
    try {
        if (Check1.Value() == 1 && Check3.Value() == 0)
            gatherFrames();
        else
            Com_Parser();
    } catch (const Failure &failure) {
        // A listing that cannot be written or a program line that cannot be sent has ended its exchange by now;
        // the user must hear why, or the pane would read as if all went well.
        showFailure(failure);
    }
}

void UDP::gatherFrames()
{
    ModbusRxBuf += RxText;
    // Address, function and count, the data, and two CRC bytes: the count says how long the frame is.
    while (ModbusRxBuf.size() >= 5) {
        ModbusByteCount = qint16(quint8(ModbusRxBuf[2]));
        if (ModbusRxBuf.size() < ModbusByteCount + 5)
            return;
        CrcCalc = CRC16(ModbusRxBuf.left(ModbusByteCount + 3));
        CrcRecv = ModbusRxBuf.mid(ModbusByteCount + 3, 2);
        monitorGathered(ModbusRxBuf.left(ModbusByteCount + 5));
        RxText = ModbusRxBuf.mid(3, ModbusByteCount);
        ModbusRxBuf.remove(0, ModbusByteCount + 5);
        // A frame damaged on the line is dropped without a message.
        if (CrcRecv == CrcCalc)
            Com_Parser();
        // A send from Com_Parser has emptied the buffer: what followed the frame is not for the new command.
        if (ModbusRxBuf.isEmpty()) {
            TMRComm.restart();
            return;
        }
    }
}
