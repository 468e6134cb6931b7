// SPDX-License-Identifier: MIT
#pragma once

#include "options.h"

/// The devices of a fleet, as a host list gives them: one `ADDR[:PORT]`, `COMn` or device path a line.
namespace HostList
{
/// Appends the devices of the list `path` ("-": stdin) to `devices`, each with its file and line; blank lines and
/// what follows a "#" that starts a line or a word are left out. An empty text when it went well, else what is wrong.
QString read(const QString &path, QList<Options::Device> &devices);
/// The first device given twice, told with both places; empty when there is none. Two runs on one device at once
/// would only meet its lock.
QString duplicate(const QList<Options::Device> &devices);
} // namespace HostList
