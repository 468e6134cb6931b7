// SPDX-License-Identifier: MIT
#pragma once

#include "exitcode.h"

#include <QByteArray>
#include <QByteArrayList>

struct Session;

/// The verbs that change the device, made safe to run again and again: each says whether it changed the device,
/// --check tells what would be done and changes nothing, and ensure-program and put --if-different leave a device
/// that is right already alone.
namespace Rollout
{
/// put: with --if-different the device's file is read first and an identical one is left alone.
Exit put(Session &s);
Exit download(Session &s);
Exit newProgram(Session &s);
/// Lists the device's program and compares it with the file; only when they differ: NEW, download, and a listing
/// that must then be the file.
Exit ensureProgram(Session &s);

/// A program as the device keeps it, to compare a file with a listing: each line as the terminal sends it, without
/// its trailing blanks; blank lines, which the device does not store, are left out.
QByteArrayList program(const QByteArray &text);
/// The index of the first line where two programs differ, or -1 when they are the same.
qsizetype firstDifference(const QByteArrayList &a, const QByteArrayList &b);
} // namespace Rollout
