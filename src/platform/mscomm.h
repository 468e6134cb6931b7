// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/// A serial port present on this machine.
struct SerialPortInfo {
    QString device;       // "/dev/ttyUSB2", "COM3"
    QString description;  // what the system calls it ("FT232R USB UART"); may be empty
    QString serialNumber; // the USB adapter's own serial number ("A12345"); may be empty
    QString manufacturer; // "FTDI"; may be empty
    QString location;     // the USB socket it is plugged into ("1-2.3": bus 1, hub port 2, port 3); may be empty
    qint16 number = 0;    // the port number N that resolves to this device; 0 when none does
    bool operator==(const SerialPortInfo &) const = default;
};

/// The window's one serial port; polled, it raises no events. Failures are thrown as Failure.
class MSComm
{
public:
    virtual ~MSComm() = default;

    /// Selects the port for the next open; a number below 1 fails the call.
    virtual void setCommPort(qint16 port) = 0;
    virtual qint16 commPort() const = 0;
    /// "9600,n,8,1" style: speed, parity, data bits, stop bits; a text it cannot take fails the call.
    virtual void setSettings(const QByteArray &settings) = 0;
    virtual QByteArray settings() const = 0;
    /// true opens the port (a port missing or in use fails the call); false closes it.
    virtual void setPortOpen(bool open) = 0;
    /// Stays true after the device went away, until the terminal closes the port.
    virtual bool portOpen() const = 0;
    /// Queues the bytes unchanged and returns at once.
    virtual void output(const QByteArray &data) = 0;
    /// Received bytes not yet read; never waits.
    virtual qint16 inBufferCount() = 0;
    /// Every received byte not yet read; the receive buffer is empty afterwards. Never waits.
    virtual QByteArray input() = 0;
    /// The device that port `n` stands for on this machine (for the port box's tool tip).
    virtual QString deviceName(qint16 port) const = 0;
    /// The serial ports present now, each with the port number that reaches it; none where they cannot be listed.
    virtual QList<SerialPortInfo> presentPorts() const { return {}; }
};
