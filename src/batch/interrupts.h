// SPDX-License-Identifier: MIT
#pragma once

/// The user's request to stop a run: Ctrl-C, SIGTERM and SIGHUP, and on Windows Ctrl-C and Ctrl-Break from the
/// console. Once caught they only set a flag that a wait looks at, so that a transfer is ended with End and a partial
/// file discarded, rather than the process ending in the middle of it.
namespace Interrupts
{
void catchAll();
bool requested();
/// The request was a hang-up (SIGHUP): the terminal the run belonged to went away. Windows sends none.
bool hungUp();
} // namespace Interrupts
