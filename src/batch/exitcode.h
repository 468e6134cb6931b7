// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// How a run of the batch command ended: its exit status, in one table with the words that --help, the JSON
/// report and the messages use (batch/exitcode.cpp).
enum class Exit : int {
    Done = 0,
    Usage = 1,
    Link = 2,
    DeviceError = 3,
    NoReply = 4,
    LocalFile = 5,
    Crashed = 70,
    HungUp = 129,
    Interrupted = 130,
};

namespace ExitCode
{
/// One word for the JSON report: "done", "usage", "link", "device error", "no reply", "local file", "crashed",
/// "hung up", "interrupted".
const char *word(Exit code);
/// The table for --help and the README: one line per code, "  2  the link cannot be opened: ...".
QString table();
/// The status for a failure box ("Error#53") shown while a verb runs: the socket's and the serial port's numbers
/// say the link went, every other number is a local file the model could not open, read or write.
Exit forFailure(int number);
} // namespace ExitCode
