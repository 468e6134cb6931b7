// SPDX-License-Identifier: MIT
#include "mounts.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString fifoName(const QString &name)
{
#ifdef Q_OS_WIN
    return QStringLiteral("\\\\.\\pipe\\vantrel-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(name);
#else
    return name;
#endif
}

TestFifo::TestFifo(const QString &path)
{
#ifdef Q_OS_WIN
    // The pipe's server end: a client's open succeeds at once, and nothing is ever written to it.
    m_path = fifoName(QFileInfo(path).fileName());
    const HANDLE pipe = CreateNamedPipeW(reinterpret_cast<const wchar_t *>(m_path.utf16()), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE)
        m_end = reinterpret_cast<qintptr>(pipe);
#else
    m_path = path;
    const QByteArray name = QFile::encodeName(path);
    if (::mkfifo(name.constData(), 0600) == 0)
        m_end = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
#endif
}

TestFifo::~TestFifo()
{
    if (!ok())
        return;
#ifdef Q_OS_WIN
    CloseHandle(reinterpret_cast<HANDLE>(m_end));
#else
    ::close(int(m_end));
#endif
}
