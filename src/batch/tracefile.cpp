// SPDX-License-Identifier: MIT
#include "tracefile.h"

#include "monitor/record.h"

namespace
{
/// The ring holds 100,000 units: a flash transfer appends about 40,000 a second.
constexpr int kDrainMs = 100;
} // namespace

TraceFile::TraceFile(const Monitor::Record &record, const QString &path)
    : m_record(record), m_file(path), m_trace(*Monitor::formatOf(path)), m_next(record.first())
{
    m_drain.setInterval(kDrainMs);
    QObject::connect(&m_drain, &QTimer::timeout, [this] { drain(); });
}

bool TraceFile::open(QString *error)
{
    if (!m_file.open(QIODevice::WriteOnly) || m_file.write(m_trace.start()) < 0) {
        *error = QStringLiteral("--trace: cannot write %1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    m_drain.start();
    return true;
}

void TraceFile::drain()
{
    if (m_next < m_record.first()) {
        m_lost += m_record.first() - m_next;
        m_next = m_record.first();
    }
    QByteArray out;
    for (; m_next < m_record.end(); ++m_next)
        out += m_trace.unit(m_record, m_next);
    m_file.write(out);
}

bool TraceFile::commit(QString *error)
{
    m_drain.stop();
    drain();
    if (m_lost > 0) {
        *error =
            QStringLiteral("--trace: %1 units went before they were written to %2").arg(m_lost).arg(m_file.fileName());
        return false;
    }
    // The last units may still wait in the buffer: a disk that has no room for them fails here, and the file that
    // would hold less than the run did is not put in place.
    if (!m_file.flush() || !m_file.commit()) {
        *error = QStringLiteral("--trace: cannot write %1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    return true;
}
