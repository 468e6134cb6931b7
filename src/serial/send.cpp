// SPDX-License-Identifier: MIT
#include "app/charset.h"
#include "app/window.h"

#include "modbus.h"

#include "platform/mscomm.h"

#include <optional>

qint16 UDP::WriteCOM32(QByteArray &COMString)
{
    m_sendFailure.reset();
    try {
        // The next reply is gathered from scratch.
        ModbusRxBuf.clear();
        if (!MSComm1.portOpen())
            return 0;
        Pic.setFillColor(Colour::SendGreen);
        if (TMRComm.Enabled()) {
            // The next poll comes a full interval after this send.
            TMRComm.setEnabled(false);
            TMRComm.setEnabled(true);
        }
        if (Check1.Value() == 1) {
            if (Check3.Value() == 0) {
                const std::optional<quint8> address = Modbus::station(Text3.Text());
                if (!address)
                    throw Failure(Err::Overflow, QStringLiteral("The Modbus address %1 lies outside 0 to 255")
                                                     .arg(Charset::decode(Text3.Text())));
                // The frame counts its data, CR LF included, in one byte.
                if (COMString.size() > 255)
                    throw Failure(Err::Overflow, QStringLiteral("An RTU frame carries at most 253 characters, the "
                                                                "line has %1")
                                                     .arg(COMString.size() - 2));
                COMString = Modbus::frame(*address, Modbus::kConsoleFunction, lineToSend(COMString));
            } else {
                // The device passes the command on to the Modbus station named in Text3, as typed there;
                // the command's own CR LF moves behind the wrapping.
                if (COMString.size() < 2)
                    return 0;
                COMString = "MDC " + Text3.Text() + ',' + COMString.chopped(2) + CRLF;
            }
        } else {
            COMString = lineToSend(COMString);
        }
        MSComm1.output(COMString);
        monitorWritten(COMString, true);
        countSent(COMString.size());
        // A length beyond the 16-bit result overflows, which ends the send as any failure does.
        return COMString.size() > 32767 ? 0 : qint16(COMString.size());
    } catch (const Failure &failure) {
        m_sendFailure = failure;
        return 0;
    }
}

QByteArray UDP::CRC16(const QByteArray &sString)
{
    return Modbus::crcBytes(sString);
}

void UDP::Command6_Click()
{
    if (!MSComm1.portOpen())
        return;
    Pic.setFillColor(Colour::SendGreen);
    QByteArray line = tbSendData.Text() + CRLF; // WriteCOM32 replaces it with what it wrote
    RetVal = WriteCOM32(line);
    // The echo shows the command as typed, not as framed or wrapped.
    typedLineSent();
}

void UDP::Check2_Click()
{
    // While commands go to a Modbus station, the flash disk cannot be reached.
    Frame2.setEnabled(Check2.Value() != 1);
}
