// SPDX-License-Identifier: MIT
#pragma once

#include "exitcode.h"

class ArgumentDialog;
class Runner;
class StderrMessageBox;
class UDP;
struct Options;
struct Report;

/// One run: the options, the window model with its headless runner and components, and what the run did.
struct Session {
    const Options &options;
    UDP &udp;
    Runner &runner;
    ArgumentDialog &dialog;
    StderrMessageBox &boxes;
    Report &report;
};

namespace Verbs
{
/// Connects (UDP) or opens the port (serial) as the options say, as a user would in the window.
Exit openLink(Session &s);
/// Runs the options' verb on the open link, to the end its reply rule gives.
Exit run(Session &s);
} // namespace Verbs
