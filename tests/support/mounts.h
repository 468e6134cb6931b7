// SPDX-License-Identifier: MIT
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

/// A file system mounted on an empty folder for one test: a tiny tmpfs (a disk that fills up at once) or a
/// read-only view of another folder. Mounting needs root; `error` says why it failed, for an honest QSKIP.
/// Unmounted lazily, so that files still open on it do not keep it busy.
class TestMount
{
public:
    /// A tmpfs of `bytes` at `point`.
    TestMount(const QString &point, int bytes)
    {
        if (prepare(point))
            check(::mount("tmpfs", path(), "tmpfs", 0, QByteArray("size=" + QByteArray::number(bytes)).constData()));
    }
    /// `source` seen read-only at `point`: a folder, or a file mounted over an existing file.
    TestMount(const QString &source, const QString &point)
    {
        if (prepare(point) && check(::mount(QFile::encodeName(source).constData(), path(), nullptr, MS_BIND, nullptr)))
            check(::mount(nullptr, path(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr));
    }
    TestMount(const TestMount &) = delete;
    TestMount &operator=(const TestMount &) = delete;
    ~TestMount()
    {
        if (m_mounted)
            ::umount2(path(), MNT_DETACH);
    }

    bool ok() const { return m_mounted && m_error.isEmpty(); }
    const QString &error() const { return m_error; }

private:
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

/// A real FIFO at `path` for one test. Its reading end is held open, so that a terminal that wrongly opens it for
/// writing fails the test instead of waiting for ever for a reader.
class TestFifo
{
public:
    explicit TestFifo(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        if (::mkfifo(name.constData(), 0600) == 0)
            m_reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
    }
    TestFifo(const TestFifo &) = delete;
    TestFifo &operator=(const TestFifo &) = delete;
    ~TestFifo()
    {
        if (m_reader >= 0)
            ::close(m_reader);
    }
    bool ok() const { return m_reader >= 0; }

private:
    int m_reader = -1;
};
