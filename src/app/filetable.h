// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>

class QFileDevice;

/// Open files named by file numbers. Opening takes a number from FreeFile; closing a number that
/// is not open does nothing. Every failure is thrown as a Failure. Only regular files open: opening a FIFO
/// waits for its other end, and a device may never end, so any other existing path fails with 75 ("not a regular
/// file"), except a character device taken for appending.
class FileTable
{
public:
    FileTable();
    ~FileTable();
    FileTable(const FileTable &) = delete;
    FileTable &operator=(const FileTable &) = delete;

    /// The lowest number from 1 that is not open.
    qint16 FreeFile() const;
    bool isOpen(qint16 n) const;

    /// Text for appending; created when missing. Each print goes straight to the disk. Besides a regular file,
    /// a character device (/dev/null) is taken.
    void openAppend(qint16 n, const QString &path);
    /// Text or bytes for reading; the file is never written, so a read-only file opens too. With `maxBytes` set,
    /// the file reads as ended after that many bytes.
    void openInput(qint16 n, const QString &path, qint64 maxBytes = -1);
    /// Text for writing; an existing file is emptied.
    void openOutput(qint16 n, const QString &path);
    /// Bytes for writing into a new file beside `path`. `path` itself is untouched until commit() puts the new
    /// file in its place; closing the number without a commit discards the new file.
    void openAtomic(qint16 n, const QString &path);
    /// Bytes for writing into `partial`, a new file beside `path`: commit() puts it in the place of `path`, which
    /// is untouched until then. Closing the number without a commit leaves `partial` holding what was written.
    void openPartial(qint16 n, const QString &path, const QString &partial);

    /// Writes the bytes as they are; a failure names its cause ("No space left on device").
    void print(qint16 n, const QByteArray &bytes);
    bool eof(qint16 n) const;
    /// The next line of a text file; it ends at CR, LF or CR LF, which are not kept. A line too long for memory
    /// fails with 7.
    QByteArray lineInput(qint16 n);
    /// The next entry of a list file: ends at a comma or a line end; leading blanks skipped;
    /// double quotes removed, and inside them commas are kept.
    QByteArray inputEntry(qint16 n);
    qint64 lof(qint16 n) const;
    QByteArray readAll(qint16 n);
    /// Puts a file opened with openAtomic() or openPartial() in place of its target and closes it; clears the
    /// number.
    void commit(qint16 &n);
    void close(qint16 n);
    /// Closes file `n` and clears the number, so that it never names a file another exchange opens later.
    void release(qint16 &n);
    void closeAll();

private:
    QFileDevice &file(qint16 n) const;
    void open(qint16 n, const QString &path, int mode, qint64 maxBytes = -1);
    std::map<qint16, std::unique_ptr<QFileDevice>> m_files;
    std::map<qint16, QString> m_targets; // the file each one opened with openPartial() is to replace
};
