// SPDX-License-Identifier: MIT
#include "devicelock.h"

#include "window.h"

#include "platform/mscomm.h"
#include "platform/system.h"
#include "platform/winsock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace
{
/// The lock file of `device` in `folder`: the device's name, percent-encoded so that any name makes a file name.
QString lockPath(const QString &folder, const QByteArray &device)
{
    const QString name = QStringLiteral("vantrel-%1.lock").arg(QString::fromLatin1(device.toPercentEncoding()));
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}
} // namespace

DeviceLock::DeviceLock() = default;
DeviceLock::~DeviceLock() = default;

bool DeviceLock::take(const QString &folder, const QByteArray &device, qint64 *holder)
{
    if (m_file && m_device == device)
        return true;
    release();
    if (!folder.isEmpty())
        QDir().mkpath(folder);
    auto file = std::make_unique<QLockFile>(lockPath(folder, device));
    // Only a lock whose process is gone is stale: a transfer may well hold one for hours.
    file->setStaleLockTime(0);
    if (file->tryLock(0)) {
        m_file = std::move(file);
        m_device = device;
        return true;
    }
    if (file->error() != QLockFile::LockFailedError)
        return true;
    QString host, application;
    *holder = 0;
    file->getLockInfo(holder, &host, &application);
    return false;
}

void DeviceLock::release()
{
    m_file.reset();
    m_device.clear();
}

bool UDP::lockDevice()
{
    QByteArray device;
    if (Winsock1.state() == 1) {
        device = "udp " + Winsock1.peer();
    } else if (MSComm1.portOpen()) {
        // A symbolic link and the device it names are one device. A Windows port ("COM3") names no file.
        QString name = MSComm1.deviceName(MSComm1.commPort());
        if (const QString canonical = QFileInfo(name).canonicalFilePath();
            name.contains(QLatin1Char('/')) && !canonical.isEmpty())
            name = canonical;
        device = "serial " + QFile::encodeName(name);
    } else {
        return true; // nothing can go out
    }
    qint64 holder = 0;
    if (m_deviceLock.take(m_system.runtimeFolder(), device, &holder))
        return true;
    showFailure(
        Failure(Err::DeviceBusy,
                QStringLiteral("the device is busy: another terminal (pid %1) is transferring to it").arg(holder)));
    return false;
}

void UDP::newSent()
{
    m_newMark = m_bytesReceived;
    TMRNew.restart();
}

void UDP::settleDeviceLock()
{
    // NEW holds the device until its answer comes, or for as long as the device takes to erase.
    if (TMRNew.Enabled() && m_bytesReceived != m_newMark)
        TMRNew.setEnabled(false);
    if (FlashWriting == 0 && FlashReading == 0 && ProgDownloadMode == 0 && ProgSaveMode == 0 && !TMRNew.Enabled())
        m_deviceLock.release();
}

void UDP::TMRNew_Timer()
{
    TMRNew.setEnabled(false);
    settleDeviceLock();
}
