// SPDX-License-Identifier: MIT
#pragma once

struct Options;

/// Several devices in one run: each device runs the verb in a vantrel of its own, on its own window model and with
/// its own log, `-j` at once. A process a device keeps them apart as the window keeps one device: its current
/// folder, its signals, its device lock and its event loop are its own, and one device that hangs or fails cannot
/// take the others with it. A device's report is the one a run on it alone gives.
namespace Fleet
{
/// Runs the options' devices; prints each device's report as it ends (JSON Lines with --json, else its reply lines
/// behind its name) and a summary on stderr. Returns the highest of the devices' exit statuses.
int run(const Options &options);
} // namespace Fleet
