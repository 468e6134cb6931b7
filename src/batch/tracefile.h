// SPDX-License-Identifier: MIT
#pragma once

#include "monitor/trace.h"

#include <QSaveFile>
#include <QTimer>

namespace Monitor
{
class Record;
}

/// `--trace FILE`: the record's units written out while the run goes, since the ring lets the oldest units of a long
/// transfer go; FILE is replaced only when the run ends and all of it is written.
class TraceFile
{
public:
    TraceFile(const Monitor::Record &record, const QString &path);
    /// False, with the reason in `error`, when the file cannot be made.
    bool open(QString *error);
    /// Writes what the record gained since the last time.
    void drain();
    /// Writes the rest and puts the file in place; false, with the reason in `error`, when that fails.
    bool commit(QString *error);

private:
    const Monitor::Record &m_record;
    QSaveFile m_file;
    Monitor::Trace m_trace;
    qint64 m_next;
    qint64 m_lost = 0; // units the ring let go before they were written
    QTimer m_drain;
};
