// SPDX-License-Identifier: MIT
#pragma once

#include "platform/mscomm.h"

#include <QObject>
#include <QSerialPort>

/// The device that port `n` stands for: VANTREL_COM<n> when set, else the platform's rule.
QString resolveCommPort(int n);

/// The serial port over QSerialPort; polled, never waits.
class QtMSComm : public QObject, public MSComm
{
    Q_OBJECT
public:
    explicit QtMSComm(QObject *parent = nullptr);
    ~QtMSComm() override;

    void setCommPort(qint16 port) override;
    qint16 commPort() const override { return m_commPort; }
    void setSettings(const QByteArray &settings) override;
    QByteArray settings() const override { return m_settings; }
    void setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }
    void output(const QByteArray &data) override;
    qint16 inBufferCount() override;
    QByteArray input() override;
    QString deviceName(qint16 port) const override { return resolveCommPort(port); }
    QList<SerialPortInfo> presentPorts() const override;

    /// Read and resource errors seen since construction: each one means the device went away. Bytes
    /// received before that are still handed out by InBufferCount and Input; only then do calls fail
    /// with "Device disconnected".
    int lostDeviceErrors() const { return m_lostDeviceErrors; }

    struct LineSettings {
        qint32 baudRate = 115200;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    };
    /// "9600,n,8,1" style; false when the text cannot be taken.
    static bool parseSettings(const QByteArray &text, LineSettings *settings);

private:
    void onError(QSerialPort::SerialPortError error);
    void applySettings();
    /// Throws unless the port is open and its device still there.
    void checkUsable() const;
    void release();

    QSerialPort m_port;
    qint16 m_commPort = 1;
    QByteArray m_settings = "115200,n,8,1";
    LineSettings m_line;
    bool m_open = false;
    bool m_lost = false;
    /// Received before the device went away and not yet read.
    QByteArray m_lastWords;
    int m_lostDeviceErrors = 0;
    /// The device as recorded in the process-wide table of open ports.
    QString m_deviceKey;
};
