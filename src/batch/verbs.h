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
/// Ends the run with `code`, telling `error`.
Exit fail(Session &s, Exit code, const QString &error);

// The steps the verbs that roll a change out are made of (batch/rollout.cpp), each as its verb runs it.
/// VER, its reply kept in the report and not printed.
Exit askVersion(Session &s);
/// put of the options' file, with --verify when asked.
Exit putFile(Session &s);
/// get of the options' device file into `local`; `what` names it in the progress.
Exit getFile(Session &s, const QString &local, const char *what);
/// download of the options' program file.
Exit downloadProgram(Session &s);
/// list into `local`, replaced only when the whole listing has come.
Exit listProgram(Session &s, const QString &local);
/// NEW, waiting for the device's answer.
Exit clearProgram(Session &s);
} // namespace Verbs
