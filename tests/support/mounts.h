// SPDX-License-Identifier: MIT
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

/// A file system mounted on an empty folder for one test: a tiny tmpfs (a disk that fills up at once) or a
/// read-only view of another folder. Mounting needs root on Linux; `error` says why it failed, for an honest QSKIP.
/// Unmounted lazily, so that files still open on it do not keep it busy.
class TestMount
{
public:
    /// A tmpfs of `bytes` at `point`.
    TestMount(const QString &point, int bytes)
    {
#ifdef Q_OS_LINUX
        if (prepare(point))
            check(::mount("tmpfs", path(), "tmpfs", 0, QByteArray("size=" + QByteArray::number(bytes)).constData()));
#else
        Q_UNUSED(point);
        Q_UNUSED(bytes);
        m_error = QLatin1String(kLinuxOnly);
#endif
    }
    /// `source` seen read-only at `point`: a folder, or a file mounted over an existing file.
    TestMount(const QString &source, const QString &point)
    {
#ifdef Q_OS_LINUX
        if (prepare(point) && check(::mount(QFile::encodeName(source).constData(), path(), nullptr, MS_BIND, nullptr)))
            check(::mount(nullptr, path(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr));
#else
        Q_UNUSED(source);
        Q_UNUSED(point);
        m_error = QLatin1String(kLinuxOnly);
#endif
    }
    TestMount(const TestMount &) = delete;
    TestMount &operator=(const TestMount &) = delete;
    ~TestMount()
    {
#ifdef Q_OS_LINUX
        if (m_mounted)
            ::umount2(path(), MNT_DETACH);
#endif
    }

    bool ok() const
    {
        return m_mounted && m_error.isEmpty();
    }
    const QString &error() const
    {
        return m_error;
    }

private:
#ifdef Q_OS_LINUX
    bool prepare(const QString &point)
    {
        m_point = point;
        if (::geteuid() != 0)
            m_error = QStringLiteral("mounting a file system needs root");
        else if (!QFileInfo(point).isFile() && !QDir().mkpath(point))
            m_error = QStringLiteral("cannot make %1").arg(point);
        return m_error.isEmpty();
    }
    const char *path()
    {
        m_encoded = QFile::encodeName(m_point);
        return m_encoded.constData();
    }
    bool check(int result)
    {
        if (result == 0)
            m_mounted = true;
        else if (m_error.isEmpty())
            m_error = QStringLiteral("mount: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return result == 0;
    }

    QString m_point;
    QByteArray m_encoded;
#else
    static constexpr char kLinuxOnly[] = "a test mounts a tiny or read-only file system on Linux only";
#endif
    QString m_error;
    bool m_mounted = false;
};

/// Fills the file system that holds `dir` to the last byte with a file named "filler".
inline bool fillDisk(const QString &dir)
{
    QFile filler(QDir(dir).filePath(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray page(4096, 'x');
    while (filler.write(page) == page.size()) {
    }
    while (filler.write("x", 1) == 1) {
    }
    return true;
}

/// The name by which a test's dialog chooses the FIFO it made as `name` in its working folder: that name, or on
/// Windows, whose named pipes live in \\.\pipe\ and never in a folder, the pipe's own name.
QString fifoName(const QString &name);

/// Why a FIFO cannot take the place of a file whose name is fixed ("Terminal.log"), where it cannot.
inline constexpr char kNoFifoInFolders[] = "a named pipe lives in \\\\.\\pipe\\, never in a folder";

/// A real FIFO for one test, made at `path` (on Windows a named pipe by fifoName() of its file name). Its other end is
/// held open, so that a terminal that wrongly opens it for writing fails the test instead of waiting for ever.
class TestFifo
{
public:
    explicit TestFifo(const QString &path);
    TestFifo(const TestFifo &) = delete;
    TestFifo &operator=(const TestFifo &) = delete;
    ~TestFifo();
    bool ok() const { return m_end != kNone; }
    /// Where the FIFO is: `path`, or the pipe's own name.
    const QString &path() const { return m_path; }

private:
    static constexpr qintptr kNone = -1;
    QString m_path;
    qintptr m_end = kNone; // a file descriptor, or on Windows the pipe's handle
};
