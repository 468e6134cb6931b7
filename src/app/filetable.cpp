// SPDX-License-Identifier: MIT
#include "filetable.h"

#include "platform/failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

namespace
{
enum Mode { Append, Input, Output, Atomic };

/// Whether `c` ends a line; the LF of a CR LF is taken along with its CR.
bool lineEnd(QFileDevice &f, char c)
{
    if (c == '\r') {
        char next;
        if (f.peek(&next, 1) == 1 && next == '\n')
            f.getChar(&next);
        return true;
    }
    return c == '\n';
}

/// A text file read from its start, of which at most `limit` bytes are read; past them it reads as ended.
class BoundedFile : public QFile
{
public:
    BoundedFile(const QString &path, qint64 limit) : QFile(path), m_limit(limit) {}
    bool atEnd() const override { return pos() >= m_limit || QFile::atEnd(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        // Reads come in order from the start, so what was handed out so far is where the file stands.
        const qint64 got = QFile::readData(data, qMin(maxSize, m_limit - m_handedOut));
        if (got > 0)
            m_handedOut += got;
        return got;
    }

private:
    qint64 m_limit;
    qint64 m_handedOut = 0;
};

enum class Kind { Missing, Regular, CharacterDevice, Other };

/// What `path` names, as the system tells it: a character device (/dev/null, /dev/full; NUL, CON, COM1 on Windows)
/// takes appended text as a file does; anything else that is not a regular file (a folder, a FIFO, a named pipe, a
/// socket) may wait for ever or never end.
Kind kindOf(const QString &path)
{
#ifdef Q_OS_WIN
    // A named pipe (\\.\pipe\...) is no file to QFileInfo: its type comes from a handle that reads nothing.
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_PIPE_BUSY ? Kind::Other : Kind::Missing;
    const DWORD type = GetFileType(handle);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool folder = type == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(handle);
    if (type == FILE_TYPE_CHAR)
        return Kind::CharacterDevice;
    return type == FILE_TYPE_DISK && !folder ? Kind::Regular : Kind::Other;
#else
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return Kind::Missing;
    if (S_ISCHR(info.st_mode))
        return Kind::CharacterDevice;
    return S_ISREG(info.st_mode) ? Kind::Regular : Kind::Other;
#endif
}

/// What went wrong with `f`. A write that the disk takes only in part sets no error text of its own
/// ("Unknown error"): the system's last error then names the cause.
QString causeOf(const QFileDevice &f, int systemError)
{
    const QString cause = f.errorString();
    if ((cause.isEmpty() || cause == QLatin1String("Unknown error")) && systemError != 0)
        return QString::fromLocal8Bit(std::strerror(systemError));
    return cause;
}

/// The system's own words: a file that cannot be created in a read-only folder is not a missing file. A file is
/// missing when it was to be read, or when its folder is; Windows gives no number for either.
[[noreturn]] void failOpen(const QFileDevice &f, const QString &path, bool reading, int systemError)
{
    if (systemError == EACCES || systemError == EPERM || systemError == EROFS ||
        f.error() == QFileDevice::PermissionsError)
        throw Failure(Err::PermissionDenied, QStringLiteral("%1: %2").arg(causeOf(f, systemError), path));
    const QFileInfo info(path);
    if (!info.exists() && (reading || !info.dir().exists()))
        throw Failure(Err::FileNotFound, QStringLiteral("File not found: %1").arg(path));
    throw Failure(Err::PathFileAccessError,
                  QStringLiteral("Path/File access error: %1 (%2)").arg(path, causeOf(f, systemError)));
}

/// Only regular files are read and written: opening a FIFO waits for its other end, for ever if none comes, and a
/// device may never end. The log alone may go to a device such as /dev/null.
void checkRegular(const QString &path, bool append)
{
    const Kind kind = kindOf(path);
    if (kind == Kind::Other || (kind == Kind::CharacterDevice && !append))
        throw Failure(Err::PathFileAccessError,
                      QStringLiteral("Path/File access error: %1 (not a regular file)").arg(path));
}

[[noreturn]] void failWrite(const QFileDevice &f, int systemError)
{
    const QString cause = causeOf(f, systemError);
    const bool full = f.error() == QFileDevice::ResourceError || systemError == ENOSPC;
    throw Failure(full ? Err::DiskFull : Err::DeviceIOError, QStringLiteral("%1: %2").arg(f.fileName(), cause));
}
} // namespace

FileTable::FileTable() = default;
FileTable::~FileTable() = default;

qint16 FileTable::FreeFile() const
{
    qint16 n = 1;
    while (m_files.count(n))
        ++n;
    return n;
}

bool FileTable::isOpen(qint16 n) const
{
    return m_files.count(n) != 0;
}

QFileDevice &FileTable::file(qint16 n) const
{
    auto it = m_files.find(n);
    if (it == m_files.end())
        throw Failure(Err::BadFileNameOrNumber, QStringLiteral("Bad file name or number"));
    return *it->second;
}

void FileTable::open(qint16 n, const QString &path, int mode, qint64 maxBytes)
{
    if (n < 1)
        throw Failure(Err::BadFileNameOrNumber, QStringLiteral("Bad file name or number"));
    if (isOpen(n))
        throw Failure(Err::FileAlreadyOpen, QStringLiteral("File already open"));
    if (path.isEmpty())
        throw Failure(Err::BadFileNameOrNumber, QStringLiteral("Bad file name or number"));
    std::unique_ptr<QFileDevice> f;
    if (mode == Atomic)
        f = std::make_unique<QSaveFile>(path);
    else if (maxBytes >= 0)
        f = std::make_unique<BoundedFile>(path, maxBytes);
    else
        f = std::make_unique<QFile>(path);
    QIODevice::OpenMode m = QIODevice::Unbuffered;
    switch (mode) {
    case Append:
        m |= QIODevice::WriteOnly | QIODevice::Append;
        break;
    case Input:
        m = QIODevice::ReadOnly; // buffered: read line by line
        break;
    case Output:
        m |= QIODevice::WriteOnly | QIODevice::Truncate;
        break;
    case Atomic:
        m |= QIODevice::WriteOnly;
        break;
    }
    checkRegular(path, mode == Append);
    errno = 0;
    if (!f->open(m))
        failOpen(*f, path, mode == Input, errno);
    m_files.emplace(n, std::move(f));
}

void FileTable::openAppend(qint16 n, const QString &path)
{
    open(n, path, Append);
}

void FileTable::openInput(qint16 n, const QString &path, qint64 maxBytes)
{
    open(n, path, Input, maxBytes);
}

void FileTable::openOutput(qint16 n, const QString &path)
{
    open(n, path, Output);
}

void FileTable::openAtomic(qint16 n, const QString &path)
{
    open(n, path, Atomic);
}

void FileTable::openPartial(qint16 n, const QString &path, const QString &partial)
{
    checkRegular(path, false);
    // As a new file put in its place would replace it: a file the user may not write stays as it is.
    const QFileInfo target(path);
    if (target.exists() && !target.isWritable())
        throw Failure(Err::PermissionDenied, QStringLiteral("Permission denied: %1").arg(path));
    open(n, partial, Output);
    m_targets[n] = path;
}

void FileTable::print(qint16 n, const QByteArray &bytes)
{
    QFileDevice &f = file(n);
    if (!f.isWritable())
        throw Failure(Err::BadFileNameOrNumber, QStringLiteral("Bad file mode"));
    // A disk that fills takes the first part of a write and refuses the rest: the refusal carries the cause.
    for (qsizetype done = 0; done < bytes.size();) {
        errno = 0;
        const qint64 written = f.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            failWrite(f, errno);
        done += written;
    }
}

bool FileTable::eof(qint16 n) const
{
    return file(n).atEnd();
}

QByteArray FileTable::lineInput(qint16 n)
{
    QFileDevice &f = file(n);
    if (f.atEnd())
        throw Failure(Err::InputPastEndOfFile, QStringLiteral("Input past end of file"));
    try {
        QByteArray line;
        char c;
        while (f.getChar(&c) && !lineEnd(f, c))
            line.append(c);
        return line;
    } catch (const std::bad_alloc &) {
        // A file with no line end in gigabytes does not fit in memory; the line read so far is freed by now.
        throw Failure(Err::OutOfMemory, QStringLiteral("Out of memory: a line of %1 is too long").arg(f.fileName()));
    }
}

QByteArray FileTable::inputEntry(qint16 n)
{
    QFileDevice &f = file(n);
    if (f.atEnd())
        throw Failure(Err::InputPastEndOfFile, QStringLiteral("Input past end of file"));
    char c = 0;
    while (f.peek(&c, 1) == 1 && (c == ' ' || c == '\t'))
        f.getChar(&c);
    QByteArray entry;
    bool quoted = false;
    if (f.peek(&c, 1) == 1 && c == '"') {
        f.getChar(&c);
        quoted = true;
        while (f.getChar(&c) && c != '"')
            entry.append(c);
    }
    // Up to the delimiter: a comma or a line end. After a quoted entry the rest is dropped.
    while (f.getChar(&c) && c != ',' && !lineEnd(f, c))
        if (!quoted)
            entry.append(c);
    if (!quoted)
        entry = entry.trimmed();
    return entry;
}

qint64 FileTable::lof(qint16 n) const
{
    return file(n).size();
}

QByteArray FileTable::readAll(qint16 n)
{
    QFileDevice &f = file(n);
    f.seek(0);
    QByteArray all = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw Failure(Err::DeviceIOError, QStringLiteral("Device I/O error: %1").arg(f.errorString()));
    return all;
}

void FileTable::commit(qint16 &n)
{
    if (const auto target = m_targets.find(n); target != m_targets.end()) {
        const QString from = file(n).fileName(), to = target->second;
        release(n);
        // The system puts the new file in the place of the old one at once, on Windows too.
        std::error_code error;
        std::filesystem::rename(QFileInfo(from).filesystemFilePath(), QFileInfo(to).filesystemFilePath(), error);
        if (error)
            throw Failure(
                Err::PathFileAccessError,
                QStringLiteral("Path/File access error: %1 (%2)").arg(to, QString::fromLocal8Bit(error.message())));
        return;
    }
    auto *f = dynamic_cast<QSaveFile *>(&file(n));
    if (!f)
        throw Failure(Err::BadFileNameOrNumber, QStringLiteral("Bad file mode"));
    errno = 0;
    if (f->commit()) {
        release(n);
        return;
    }
    const QString path = f->fileName(), cause = causeOf(*f, errno);
    release(n);
    throw Failure(Err::PathFileAccessError, QStringLiteral("Path/File access error: %1 (%2)").arg(path, cause));
}

void FileTable::close(qint16 n)
{
    m_files.erase(n);
    m_targets.erase(n);
}

void FileTable::release(qint16 &n)
{
    close(n);
    n = 0;
}

void FileTable::closeAll()
{
    m_files.clear();
    m_targets.clear();
}
