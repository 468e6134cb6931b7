// SPDX-License-Identifier: MIT
#include "exitcode.h"

#include "platform/failure.h"

namespace
{
struct Row {
    Exit code;
    const char *word;
    const char *meaning;
};

constexpr Row kCodes[] = {
    {Exit::Done, "done", "done"},
    {Exit::Usage, "usage", "usage: an unknown verb or option, a missing or extra argument"},
    {Exit::Link, "link",
     "unreachable: the link cannot be opened (bind failed, host not found, port missing or busy) or went\n"
     "       away, the device sent nothing at all within --timeout, or another terminal is transferring to it"},
    {Exit::DeviceError, "device error", "the device answered an error (download: the line it rejected)"},
    {Exit::NoReply, "no reply", "no reply within --timeout (a transfer: to one of its steps)"},
    {Exit::LocalFile, "local file", "a local file problem: missing, unreadable, unwritable, disk full"},
    {Exit::Crashed, "crashed", "several devices: the run of one device ended abnormally (a fault in vantrel)"},
    {Exit::HungUp, "hung up", "hung up (SIGHUP): a transfer is ended as on an interruption"},
    {Exit::Interrupted, "interrupted",
     "interrupted (Ctrl-C, SIGTERM, on Windows Ctrl-Break): a transfer is ended, a partial get discarded"},
};

const Row &row(Exit code)
{
    for (const Row &r : kCodes)
        if (r.code == code)
            return r;
    return kCodes[0];
}
} // namespace

namespace ExitCode
{
const char *word(Exit code)
{
    return row(code).word;
}

QString table()
{
    QString text;
    for (const Row &r : kCodes)
        text += QStringLiteral("  %1  %2\n").arg(int(r.code), 3).arg(QLatin1String(r.meaning));
    return text;
}

Exit forFailure(int number)
{
    switch (Err(number)) {
    case Err::InvalidPortNumber:
    case Err::PortAlreadyOpen:
    case Err::DeviceBusy:
    case Err::PortNotOpen:
    case Err::DeviceDisconnected:
    case Err::InvalidSettings:
    case Err::SocketAccessDenied:
    case Err::SocketAddressInUse:
    case Err::SocketInvalidArgument:
    case Err::SocketNotConnected:
    case Err::SocketHostNotFound:
        return Exit::Link;
    default:
        return Exit::LocalFile;
    }
}
} // namespace ExitCode
