// SPDX-License-Identifier: MIT
// A serial device that goes away while its port is open (a USB adapter pulled out) and comes back.
#include "app/charset.h"
#include "app/window.h"
#include "portname.h"

#include "platform/mscomm.h"
#include "platform/system.h"

#include <algorithm>

namespace
{
/// Whether `candidate` is the device `lost` was: the same USB serial number when it had one; else the same kind of
/// adapter in the same USB socket, with no serial number that makes it another; else the same path.
bool sameDevice(const SerialPortInfo &lost, const SerialPortInfo &candidate)
{
    if (!lost.serialNumber.isEmpty())
        return candidate.serialNumber == lost.serialNumber;
    if (!lost.location.isEmpty())
        return candidate.serialNumber.isEmpty() && candidate.location == lost.location &&
               candidate.description == lost.description;
    return candidate.device == lost.device;
}
} // namespace

void UDP::rememberDevice()
{
    const qint16 number = MSComm1.commPort();
    const QList<SerialPortInfo> present = MSComm1.presentPorts();
    const auto listed = std::ranges::find(present, number, &SerialPortInfo::number);
    if (listed != present.end()) {
        m_device = *listed;
        return;
    }
    // A device the system does not list (a pseudo-terminal) is known by its path alone.
    m_device = SerialPortInfo{};
    m_device.device = MSComm1.deviceName(number);
    m_device.number = number;
}

void UDP::waitForDevice(const Failure &failure)
{
    // The port is let go, while the window stays as the user left it: the same speed and mode when it comes back,
    // and Close (or "Stay closed") ends the wait.
    TMRComm.setEnabled(false);
    try {
        MSComm1.setPortOpen(false);
    } catch (const Failure &) {
        // The device is gone all the same.
    }
    Comm_number.setBackColor(Colour::WindowBackground);
    Pic.setVisible(false);
    m_lost = failure;
    m_goneBox = Comm_number.Text();
    m_deviceWaitedMs = 0;
    m_deviceGone = true;
    TMRDevice.setEnabled(true);
    linkChanged({});
    // The wire monitor's record marks where the device went and where it came back, between the units around.
    monitor.note(m_system.clockUs(), Charset::encode(statusLink()));
    // A download or listing cut by the device's going is over: an "OK" after its return must not send the next
    // line of a program the device no longer expects.
    try {
        if (ProgDownloadMode == 1 || ProgSaveMode == 1)
            refuse(Why::ExchangeCut, ProgDownloadMode == 1 ? "program download" : "program listing");
        ProgListingStop();
        ProgExchangeEnd();
    } catch (const Failure &listing) {
        showFailure(listing);
    }
}

void UDP::TMRDevice_Timer()
{
    if (!m_deviceGone)
        return;
    m_deviceWaitedMs += TMRDevice.Interval();
    // A device the system lists is known again by its serial number or socket, under whatever path it comes back
    // as; one known by its path alone is looked for at the port that reached it.
    qint16 number = 0;
    if (m_device.serialNumber.isEmpty() && m_device.location.isEmpty()) {
        number = m_device.number;
    } else {
        for (const SerialPortInfo &port : MSComm1.presentPorts())
            if (port.number > 0 && sameDevice(m_device, port))
                number = port.number;
    }
    if (number > 0) {
        try {
            MSComm1.setCommPort(number);
            MSComm1.setPortOpen(true);
            if (MSComm1.portOpen()) {
                deviceBack();
                return;
            }
        } catch (const Failure &) {
            // Not there yet, or not ready to be opened: the next tick looks again.
        }
    }
    if (m_deviceWaitMs > 0 && m_deviceWaitedMs >= m_deviceWaitMs) {
        const Failure lost = *m_lost;
        closePort();
        showFailure(Failure(static_cast<Err>(lost.number()), QStringLiteral("%1; it did not come back within %2 s")
                                                                 .arg(lost.description())
                                                                 .arg(m_deviceWaitMs / 1000.0)));
    }
}

void UDP::deviceBack()
{
    m_deviceGone = false;
    TMRDevice.setEnabled(false);
    const qint16 number = MSComm1.commPort();
    qint16 shown = 0;
    try {
        shown = commPortNumber(Comm_number.Text());
    } catch (const Failure &) {
        // Whatever the box holds now, it gets the number that reaches the device.
    }
    // Back under another path, it is reached by another number: the box shows the one that reaches it now.
    if (shown != number)
        Comm_number.setText("COM" + QByteArray::number(number));
    // Half a reply frame from before the device went would be completed by the first bytes after its return.
    ModbusRxBuf.clear();
    Pic.setVisible(true);
    Comm_number.setBackColor(Colour::Green);
    TMRComm.setEnabled(true);
    linkChanged(MSComm1.deviceName(number).toLocal8Bit());
    rememberDevice();
    refuse(Why::DeviceBack, Status::device(m_device));
    monitor.note(m_system.clockUs(), Charset::encode(statusReason()));
}

void UDP::StayClosed_Click()
{
    if (!m_deviceGone)
        return;
    try {
        closePort();
    } catch (const Failure &) {
        // Nothing is open: the window is closed all the same.
    }
    tbSendData.SetFocus();
}
