// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QLockFile;

/// One exchange at a time with a device, among the terminals of this computer: a lock file named after the device,
/// held while a flash transfer, a download, a listing or NEW runs, so that two terminals never interleave their
/// blocks or lines. A lock whose process is gone is taken over; a live one is never, however old.
class DeviceLock
{
public:
    DeviceLock();
    ~DeviceLock();
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;

    /// Takes the lock of `device` ("udp 10.0.0.7:111", "serial /dev/ttyUSB0") in `folder`, letting go of another
    /// device's first; true at once when this one holds it already. False when another live process holds it: its
    /// process id is then in `holder`. A folder where no lock can be made locks nothing.
    bool take(const QString &folder, const QByteArray &device, qint64 *holder);
    void release();

private:
    std::unique_ptr<QLockFile> m_file;
    QByteArray m_device;
};
