// SPDX-License-Identifier: MIT
#include "window.h"

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
    } catch (const Failure &) {
        // A full disk must not cost the user the reply on the screen either.
    }
}
