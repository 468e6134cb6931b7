// SPDX-License-Identifier: MIT
#include "qtmscomm.h"

#include "platform/failure.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QSet>

#include <algorithm>

namespace
{

/// Devices open in this process. The serial port's exclusive lock does not stop a second open from
/// the same process on every system (TIOCEXCL does not bind root), so we keep our own table.
QSet<QString> &openDevices()
{
    static QSet<QString> devices;
    return devices;
}

QString deviceKey(const QString &device)
{
#if defined(Q_OS_WIN)
    // COMn names a device of the system's own, not a file: it is compared by name, in any case, and never opened.
    if (!device.contains(QLatin1Char('/')) && !device.contains(QLatin1Char('\\')))
        return device.toUpper();
#endif
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

} // namespace

QString resolveCommPort(int n)
{
    const QByteArray override = qgetenv("VANTREL_COM" + QByteArray::number(n));
    if (!override.isEmpty())
        return QString::fromLocal8Bit(override);
#if defined(Q_OS_WIN)
    return QStringLiteral("COM%1").arg(n);
#elif defined(Q_OS_MACOS)
    const QStringList ports =
        QDir(QStringLiteral("/dev")).entryList({QStringLiteral("cu.*")}, QDir::AllEntries | QDir::System, QDir::Name);
    return n >= 1 && n <= ports.size() ? QStringLiteral("/dev/") + ports[n - 1] : QString();
#else
    for (const char *stem : {"/dev/ttyUSB", "/dev/ttyACM"}) {
        const QString path = QLatin1String(stem) + QString::number(n - 1);
        if (QFileInfo::exists(path))
            return path;
    }
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}

namespace
{
/// The port number that resolves to `device`, 0 when none does. Each candidate is checked against
/// resolveCommPort, so that an override or a device that shadows another (ttyUSB0 before ttyACM0) is
/// honoured exactly as when the port is opened.
qint16 numberFor(const QString &device, const QStringList &overrides)
{
    const QString key = deviceKey(device);
    QList<int> candidates;
    static const QRegularExpression overrideName(QStringLiteral("^VANTREL_COM(\\d+)="));
    for (const QString &variable : overrides) {
        const QRegularExpressionMatch match = overrideName.match(variable);
        if (match.hasMatch() && deviceKey(variable.mid(match.capturedLength())) == key)
            candidates << match.captured(1).toInt();
    }
#if defined(Q_OS_MACOS)
    const QStringList ports =
        QDir(QStringLiteral("/dev")).entryList({QStringLiteral("cu.*")}, QDir::AllEntries | QDir::System, QDir::Name);
    candidates << int(ports.indexOf(QFileInfo(device).fileName())) + 1;
#else
    // COM3 is port 3; /dev/ttyUSB2, ttyACM2 and ttyS2 are port 3.
    static const QRegularExpression trailingNumber(QStringLiteral("(\\d+)$"));
    const QRegularExpressionMatch match = trailingNumber.match(QFileInfo(device).fileName());
#if defined(Q_OS_WIN)
    const int offset = 0;
#else
    const int offset = 1;
#endif
    if (match.hasMatch())
        candidates << match.captured(1).toInt() + offset;
#endif
    std::sort(candidates.begin(), candidates.end());
    for (const int n : candidates)
        if (n >= 1 && n <= 32767 && deviceKey(resolveCommPort(n)) == key)
            return qint16(n);
    return 0;
}

/// The USB socket the adapter is plugged into, as the kernel names its place on the bus ("1-2.3"); empty for a
/// device that is not on USB, and where the system does not tell it.
QString usbLocation(const QSerialPortInfo &info)
{
#if defined(Q_OS_LINUX)
    // /sys/class/tty/ttyUSB0/device leads to .../usb1/1-2/1-2.3/1-2.3:1.0/ttyUSB0: the last part before the
    // interface ("1-2.3:1.0") is the port's place.
    const QString device =
        QFileInfo(QStringLiteral("/sys/class/tty/%1/device").arg(info.portName())).canonicalFilePath();
    static const QRegularExpression place(QStringLiteral("^\\d+-[\\d.]+$"));
    QString location;
    for (const QString &part : device.split(QLatin1Char('/')))
        if (place.match(part).hasMatch())
            location = part;
    return location;
#else
    Q_UNUSED(info);
    return {};
#endif
}
} // namespace

QList<SerialPortInfo> QtMSComm::presentPorts() const
{
    const QStringList overrides = QProcessEnvironment::systemEnvironment().toStringList().filter(
        QRegularExpression(QStringLiteral("^VANTREL_COM\\d+=")));
    QList<SerialPortInfo> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
#if defined(Q_OS_WIN)
        // "COM3", the name the port opens by and the user knows, rather than the system's "\\.\COM3".
        const QString device = info.portName();
#else
        const QString device = info.systemLocation();
#endif
        ports.append({device, info.description(), info.serialNumber(), info.manufacturer(), usbLocation(info),
                      numberFor(device, overrides)});
    }
    return ports;
}

QtMSComm::QtMSComm(QObject *parent) : QObject(parent)
{
    // Nothing received may be dropped while the poll timer is late.
    m_port.setReadBufferSize(0);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtMSComm::onError);
}

QtMSComm::~QtMSComm()
{
    release();
}

void QtMSComm::setCommPort(qint16 port)
{
    if (port < 1)
        throw Failure(Err::InvalidPortNumber, QStringLiteral("Invalid port number: %1").arg(port));
    if (m_open)
        throw Failure(Err::PortAlreadyOpen, QStringLiteral("Port already open"));
    m_commPort = port;
}

bool QtMSComm::parseSettings(const QByteArray &text, LineSettings *settings)
{
    const QList<QByteArray> parts = text.trimmed().toLower().split(',');
    if (parts.size() != 4)
        return false;
    LineSettings s;
    bool ok = false;
    s.baudRate = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baudRate <= 0)
        return false;

    const QByteArray parity = parts[1].trimmed();
    if (parity == "n")
        s.parity = QSerialPort::NoParity;
    else if (parity == "e")
        s.parity = QSerialPort::EvenParity;
    else if (parity == "o")
        s.parity = QSerialPort::OddParity;
    else if (parity == "m")
        s.parity = QSerialPort::MarkParity;
    else if (parity == "s")
        s.parity = QSerialPort::SpaceParity;
    else
        return false;

    const int dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return false;
    s.dataBits = QSerialPort::DataBits(dataBits);

    const QByteArray stop = parts[3].trimmed();
    if (stop == "1")
        s.stopBits = QSerialPort::OneStop;
    else if (stop == "1.5")
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == "2")
        s.stopBits = QSerialPort::TwoStop;
    else
        return false;

    *settings = s;
    return true;
}

void QtMSComm::setSettings(const QByteArray &settings)
{
    LineSettings line;
    if (!parseSettings(settings, &line))
        throw Failure(Err::InvalidSettings, QStringLiteral("Invalid settings: %1").arg(QString::fromLatin1(settings)));
    m_settings = settings;
    m_line = line;
    if (m_port.isOpen())
        applySettings();
}

void QtMSComm::applySettings()
{
    m_port.setBaudRate(m_line.baudRate);
    m_port.setParity(m_line.parity);
    m_port.setDataBits(m_line.dataBits);
    m_port.setStopBits(m_line.stopBits);
}

void QtMSComm::setPortOpen(bool open)
{
    if (!open) {
        release();
        return;
    }
    if (m_open)
        throw Failure(Err::PortAlreadyOpen, QStringLiteral("Port already open"));
    const QString device = resolveCommPort(m_commPort);
    if (device.isEmpty())
        throw Failure(Err::InvalidPortNumber, QStringLiteral("No device for port %1").arg(m_commPort));
    const QString key = deviceKey(device);
    if (openDevices().contains(key))
        throw Failure(Err::PortAlreadyOpen, QStringLiteral("Port already open: %1").arg(device));

    m_port.setPortName(device);
    applySettings();
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QString why = QStringLiteral("%1: %2").arg(device, m_port.errorString());
        switch (m_port.error()) {
        case QSerialPort::DeviceNotFoundError:
            throw Failure(Err::InvalidPortNumber, why);
        case QSerialPort::PermissionError:
            throw Failure(Err::PortAlreadyOpen, why);
        case QSerialPort::UnsupportedOperationError:
            throw Failure(Err::InvalidSettings, why);
        default:
            throw Failure(Err::DeviceIOError, why);
        }
    }
    openDevices().insert(key);
    m_deviceKey = key;
    m_open = true;
    m_lost = false;
}

void QtMSComm::release()
{
    if (m_port.isOpen())
        m_port.close();
    if (!m_deviceKey.isEmpty())
        openDevices().remove(std::exchange(m_deviceKey, QString()));
    m_open = false;
    m_lost = false;
    m_lastWords.clear();
}

void QtMSComm::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    ++m_lostDeviceErrors;
    // A port whose device is gone reports the error again on every pass of the event loop, at full CPU,
    // until it is closed. What the device sent before it went is kept for Input: closing the port would
    // throw it away. The terminal still sees the port open until it closes it.
    if (m_port.isOpen()) {
        m_lastWords += m_port.readAll();
        m_port.close();
        m_lost = true;
    }
}

void QtMSComm::checkUsable() const
{
    if (m_lost)
        throw Failure(Err::DeviceDisconnected, QStringLiteral("Device disconnected: %1").arg(m_deviceKey));
    if (!m_open)
        throw Failure(Err::PortNotOpen, QStringLiteral("Port not open"));
}

void QtMSComm::output(const QByteArray &data)
{
    checkUsable();
    if (m_port.write(data) != data.size())
        throw Failure(Err::DeviceIOError, QStringLiteral("Device I/O error: %1").arg(m_port.errorString()));
}

qint16 QtMSComm::inBufferCount()
{
    // Bytes that arrived before the device went are read first; only then is the loss reported.
    if (m_lastWords.isEmpty())
        checkUsable();
    const qint64 waiting = m_lastWords.size() + (m_port.isOpen() ? m_port.bytesAvailable() : 0);
    return qint16(qMin<qint64>(waiting, 32767));
}

QByteArray QtMSComm::input()
{
    if (m_lastWords.isEmpty())
        checkUsable();
    QByteArray bytes = std::exchange(m_lastWords, QByteArray());
    if (m_port.isOpen())
        bytes += m_port.readAll();
    return bytes;
}
