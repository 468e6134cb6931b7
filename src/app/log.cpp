// SPDX-License-Identifier: MIT
#include "window.h"

#include <utility>

namespace
{
constexpr qsizetype kLogPiece = 64 * 1024;
}

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
    if (m_logGathering) {
        m_logGathered += bytes;
        // A flood of datagrams read in one go is written in pieces, not all at its end.
        if (m_logGathered.size() >= kLogPiece)
            flushLog();
        return;
    }
    writeLog(bytes);
}

void UDP::flushLog()
{
    if (m_logGathered.isEmpty())
        return;
    writeLog(m_logGathered);
    m_logGathered.resize(0); // keeps its room for the next batch
}

bool UDP::pauseLogBatch()
{
    // A box lets other events in while it is open, for as long as the user leaves it there: what was logged before
    // it is written now, and what timers and datagrams log meanwhile goes to the file at once.
    flushLog();
    return std::exchange(m_logGathering, false);
}

UDP::LogBatch::~LogBatch()
{
    // A batch begun inside another one leaves the writing to that one, which ends before the thread turns to other
    // events; a command going out or a box opening writes what was gathered before either.
    if (!m_outer)
        return;
    m_w.m_logGathering = false;
    m_w.flushLog();
}

void UDP::writeLog(const QByteArray &bytes)
{
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
