// SPDX-License-Identifier: MIT
// The status line: the terminal's own words in one table, and what the model tells it.
#include "status.h"

#include "charset.h"
#include "window.h"

#include "platform/mscomm.h"
#include "platform/system.h"
#include "platform/winsock.h"

namespace
{
struct Reason {
    Why why;
    const char *text; // %1 stands for what the action was about
};

constexpr Reason kReasons[] = {
    {Why::None, ""},
    {Why::SerialOpen, "the serial port is open: close it first"},
    {Why::LinkUp, "the link is up: Disconnect first"},
    {Why::NoAddress, "no device address: type one in the Host box"},
    {Why::HostNotFound, "host name not found: %1"},
    {Why::RemotePortNotNumber, "remote port is not a number: %1"},
    {Why::RemotePortRange, "remote port is not between 1 and 65535: %1"},
    {Why::LocalPortInUse, "local port %1 is in use"},
    {Why::ConnectFailed, "Connect failed: %1"},
    {Why::NotConnected, "not connected: Connect or Open first"},
    {Why::UdpOnly, "the flash disk is reached over UDP only: Close the port, then Connect"},
    {Why::ViaUsbOff, "\"Init Port\" sends only with \"Via USB\" ticked"},
    {Why::PortClosed, "the serial port is closed: Open it first"},
    {Why::NoDownload, "no download under way: \">>\" sends the next line of one"},
    {Why::NothingToStop, "no download under way: nothing to stop"},
    {Why::NotInList, "the address shown is not in the list: nothing to delete"},
    {Why::NoPortNumber, "no port number reaches %1: name it with VANTREL_COM<N> or --com N=PATH"},
    {Why::DeviceGone, "%1 is gone: nothing is sent until it comes back (Close stops the wait)"},
    {Why::DeviceBack, "%1 came back and is open again"},
    {Why::ExchangeCut, "the %1 ended when the device went: start it again"},
    {Why::TransferUnderWay, "a transfer is under way: saved commands wait for its end"},
    {Why::ListsRefused, "the command lists file was refused at start, so nothing is saved over it: %1"},
    {Why::NoSavedCommand, "%1: no saved command there in the list shown"},
};
static_assert(std::size(kReasons) == size_t(Why::NoSavedCommand) + 1);

/// "980 B", "1.2 KiB", "3.4 MiB", "1.1 GiB".
QString size(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    double value = double(bytes) / 1024;
    const char *unit = "KiB";
    for (const char *larger : {"MiB", "GiB"}) {
        if (value < 1024)
            break;
        value /= 1024;
        unit = larger;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(unit));
}
} // namespace

namespace Status
{
QString reason(Why why, const QByteArray &what)
{
    const QString text = QString::fromLatin1(kReasons[int(why)].text);
    return text.contains(QLatin1String("%1")) ? text.arg(Charset::decode(what)) : text;
}

QString silence(qint64 silentMs)
{
    return QStringLiteral("no reply for %1 s").arg(silentMs / 1000);
}

QString traffic(qint64 sent, qint64 received)
{
    return QStringLiteral("%1 sent, %2 received").arg(size(sent), size(received));
}

QByteArray device(const SerialPortInfo &device)
{
    if (!device.serialNumber.isEmpty())
        return Charset::encode((device.manufacturer + QLatin1Char(' ') + device.serialNumber).trimmed());
    if (!device.location.isEmpty())
        return Charset::encode((device.description + QStringLiteral(" at USB ") + device.location).trimmed());
    return Charset::encode(device.device);
}
} // namespace Status

void UDP::refuse(Why why, const QByteArray &what)
{
    m_why = why;
    m_whyWhat = what;
    statusChanged();
}

QString UDP::statusReason() const
{
    return Status::reason(m_why, m_whyWhat);
}

QString UDP::statusLink() const
{
    if (m_deviceGone)
        return QStringLiteral("%1 gone: waiting for it to come back (%2)")
            .arg(Charset::decode(m_goneBox), Charset::decode(Status::device(m_device)));
    if (Winsock1.state() == 1 && !m_linkTarget.isEmpty()) {
        QString link = QStringLiteral("UDP %1 from %2:%3")
                           .arg(Charset::decode(m_linkTarget), Charset::decode(Text1.Text()))
                           .arg(Winsock1.localPort());
        if (Check2.Value() == 1)
            link += QStringLiteral(", MDC to station ") + Charset::decode(Text4.Text());
        return link;
    }
    if (PortOpened == 1 && MSComm1.portOpen()) {
        const QByteArray speed = MSComm1.settings().split(',').constFirst();
        QString mode = QStringLiteral("plain lines");
        if (Check1.Value() == 1)
            mode = (Check3.Value() == 0 ? QStringLiteral("RTU to station ") : QStringLiteral("MDC to station ")) +
                   Charset::decode(Text3.Text());
        return QStringLiteral("%1 = %2, %3, %4")
            .arg(Charset::decode(Comm_number.Text()), QString::fromLocal8Bit(m_linkTarget), QString::fromLatin1(speed),
                 mode);
    }
    return QStringLiteral("not connected");
}

QString UDP::statusSilence() const
{
    const qint64 silent = m_sentAt < 0 ? 0 : m_system.clockMs() - m_sentAt;
    return silent >= Status::kSilenceMs ? Status::silence(silent) : QString();
}

QString UDP::statusLog() const
{
    // Form_Load took a number for the log, and the log did not open under it.
    return LogFileNum != 0 && !m_logOpen ? QStringLiteral("running without a log") : QString();
}

QString UDP::statusTraffic() const
{
    return Status::traffic(m_bytesSent, m_bytesReceived);
}

QString UDP::statusText() const
{
    QStringList parts{statusLink()};
    for (const QString &part : {statusReason(), statusLog(), statusSilence(), statusTraffic()})
        if (!part.isEmpty())
            parts << part;
    return parts.join(QStringLiteral(" | "));
}

void UDP::countSent(qsizetype bytes)
{
    m_bytesSent += bytes;
    if (m_sentAt < 0)
        m_sentAt = m_system.clockMs();
    statusChanged();
}

void UDP::countReceived(qsizetype bytes)
{
    m_bytesReceived += bytes;
    m_sentAt = -1;
    statusChanged();
}

void UDP::linkChanged(const QByteArray &target)
{
    if (target != m_linkTarget)
        monitor.note(m_system.clockUs(), target.isEmpty() ? "link down" : "link up: " + target);
    m_linkTarget = target;
    m_sentAt = -1;
    statusChanged();
}

void UDP::statusChanged()
{
    if (ElementObserver *view = observer())
        view->statusChanged();
}
