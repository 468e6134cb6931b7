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
// A signal handler, and on Windows the console's handler thread, may only set a flag: here the signal that came.
constexpr int kNone = 0, kConsole = -1;
std::atomic<int> g_request = kNone;
static_assert(std::atomic<int>::is_always_lock_free);

#ifdef Q_OS_WIN
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE; // closing the console or logging off ends the process as usual
    g_request = kConsole;
    return TRUE;
}
#else
void onSignal(int signal)
{
    g_request = signal;
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
    std::signal(SIGHUP, onSignal);
#endif
}

bool requested()
{
    return g_request != kNone;
}

bool hungUp()
{
#ifdef Q_OS_WIN
    return false;
#else
    return g_request == SIGHUP;
#endif
}
} // namespace Interrupts
