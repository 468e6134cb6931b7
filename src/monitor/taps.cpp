// SPDX-License-Identifier: MIT
// Where the window's send and receive paths hand their units to the record, and the record's export.
#include "app/window.h"
#include "monitor/trace.h"

#include "platform/commondialog.h"
#include "platform/system.h"
#include "platform/winsock.h"

#include <utility>

namespace
{
constexpr char kTraceFiles[] = "JSON Lines (*.jsonl)|*.jsonl|CSV (*.csv)|*.csv|pcapng (*.pcapng)|*.pcapng";
/// The export goes to the file in pieces of about this many bytes.
constexpr qsizetype kWriteChunk = 1 << 20;
} // namespace

QByteArray UDP::monitorPort() const
{
    return Comm_number.Text() + ' ' + m_linkTarget;
}

void UDP::monitorSent(const QByteArray &datagram)
{
    monitor.datagramSent(m_system.clockUs(), Winsock1.remote(), Winsock1.local(), datagram, ProgDownloadMode == 1);
}

void UDP::monitorReceived(const QByteArray &datagram)
{
    monitor.datagramReceived(m_system.clockUs(), Winsock1.sender(), Winsock1.local(), datagram);
}

void UDP::monitorWritten(const QByteArray &bytes, bool framed)
{
    // Framed as WriteCOM32 frames it: RTU frames, "MDC " lines, or the line as it is.
    Monitor::Framing framing = Monitor::Framing::Plain;
    if (framed && Check1.Value() == 1)
        framing = Check3.Value() == 0 ? Monitor::Framing::Rtu : Monitor::Framing::Mdc;
    monitor.written(m_system.clockUs(), monitorPort(), bytes, framing, framed && ProgDownloadMode == 1);
}

void UDP::monitorRead(const QByteArray &chunk)
{
    monitor.read(m_system.clockUs(), monitorPort(), chunk, Check1.Value() == 1 && Check3.Value() == 0);
}

void UDP::monitorGathered(const QByteArray &frame)
{
    monitor.gathered(m_system.clockUs(), monitorPort(), frame);
}

void UDP::monitorSaveAs(const Monitor::Filter &filter)
{
    CommonDialog1.setFilter(QString::fromLatin1(kTraceFiles));
    CommonDialog1.showSave();
    const QString name = CommonDialog1.fileName();
    if (name.isEmpty() || CommonDialog1.cancelled())
        return;
    const std::optional<Monitor::Format> format = Monitor::formatOf(name);
    if (!format) {
        msgBox(QStringLiteral("A trace is saved as .jsonl, .csv or .pcapng: give the name one of these ends."));
        return;
    }
    qint16 n = 0;
    try {
        n = files.FreeFile();
        files.openAtomic(n, name);
        Monitor::Trace trace(*format);
        QByteArray out = trace.start();
        for (qint64 unit = monitor.first(); unit < monitor.end(); ++unit) {
            if (!filter.accepts(monitor.at(unit)))
                continue;
            out += trace.unit(monitor, unit);
            if (out.size() >= kWriteChunk)
                files.print(n, std::exchange(out, {}));
        }
        files.print(n, out);
        files.commit(n);
    } catch (const Failure &failure) {
        files.release(n);
        showFailure(failure);
    }
}
