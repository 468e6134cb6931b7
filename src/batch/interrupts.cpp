// SPDX-License-Identifier: MIT
#include "interrupts.h"

#include <QtGlobal>

#include <atomic>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <csignal>
#endif

namespace
{
// A signal handler, and on Windows the console's handler thread, may only set a flag.
std::atomic<bool> g_requested = false;
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef Q_OS_WIN
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE; // closing the console or logging off ends the process as usual
    g_requested = true;
    return TRUE;
}
#else
void onSignal(int)
{
    g_requested = true;
}
#endif
} // namespace

namespace Interrupts
{
void catchAll()
{
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
#endif
}

bool requested()
{
    return g_requested;
}
} // namespace Interrupts
