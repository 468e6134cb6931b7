// SPDX-License-Identifier: MIT
#include "window.h"

#include <utility>

void UDP::logLine(const QByteArray &text)
{
    logRaw(text + CRLF);
}

void UDP::logRaw(const QByteArray &bytes)
{
    // A log that could not be opened at start-up must not stop the handler that writes to it:
    // what was received is still shown and handled.
    if (!m_logOpen)
        return;
    try {
        files.print(LogFileNum, bytes);
    } catch (const Failure &failure) {
        // A full disk must not cost the user the reply on the screen either: the handler goes on, and the
        // user hears of the first failure once the event is over.
        if (!std::exchange(m_logFailed, true))
            m_logFailure = failure;
    }
}

void UDP::reportLogFailure()
{
    if (m_logFailure)
        showFailure(*std::exchange(m_logFailure, std::nullopt));
}
