// SPDX-License-Identifier: MIT
#pragma once

#include "exitcode.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

/// One try of a run: a run with --retries has one more after each that failed for want of the link or a reply.
struct Try {
    QString started; // ISO 8601, UTC
    double seconds = 0;
    Exit exit = Exit::Done;
    QString error;
    qint64 bytesSent = 0;
    qint64 bytesReceived = 0;
};

/// What one run did: the closing message on stderr, or with --json the one object on stdout.
struct Report {
    QString verb;
    QString target; // the link as asked for
    QString device; // the device as given: the host or the serial port
    QString link;   // the link as the status line told it once it was up
    Exit exit = Exit::Done;
    /// Something that changes the device went out (with --check: would go out).
    bool changed = false;
    bool check = false;
    qint64 bytesSent = 0; // on the wire, every try
    qint64 bytesReceived = 0;
    /// The bytes of the file or program the verb carried (put, get, download, list, ensure-program), or of the
    /// device's reply (ver, send).
    qint64 payloadBytes = 0;
    QString localFile;  // put, get, download, list, ensure-program
    QString deviceFile; // put, get: the name on the flash disk
    QString started;    // ISO 8601, UTC
    double seconds = 0;
    QByteArray reply; // what the device answered, as it sent it
    /// download: the line the device rejected, its number in the file from 1; 0 when none was.
    int rejectedLine = 0;
    QByteArray rejectedText;
    /// The last "Error#" box: its number and text; 0 when none came.
    int failureNumber = 0;
    QString failureText;
    QString error;
    bool errorShown = false; // a box told it on stderr already
    QList<Try> tries;
};

namespace Output
{
/// From now on stdout takes bytes as they are, on every system; called before anything is written to it.
void keepBytes();
/// The device's text to stdout as it came, byte for byte.
void reply(const QByteArray &bytes);
/// "vantrel: text" on stderr.
void message(const QString &text);
/// "vantrel: text" on stderr, unless -q: what the run is doing.
void note(const QString &text);
/// -q: progress lines and notes are left out from now on.
void setQuiet(bool quiet);
/// The time now as the report gives it: ISO 8601, UTC, to the millisecond.
QString now();
/// The report as one line of JSON; texts from the device are decoded with the window's character set.
QByteArray json(const Report &report);
} // namespace Output

/// Progress on stderr: a bar drawn over itself when stderr is a terminal, else a line per tenth of the whole, or
/// per `step` units when the whole is not known (a file read from the flash disk tells its size only at its end).
class Progress
{
public:
    Progress(QString what, QString unit, qint64 step);
    void setTotal(qint64 total) { m_total = total; }
    void update(qint64 done);
    /// The last figure; nothing when nothing was shown.
    void finish();

private:
    void draw();
    QString m_what;
    QString m_unit;
    qint64 m_step;
    qint64 m_total = -1;
    qint64 m_done = 0;
    qint64 m_shown = -1; // the tenth, or the step, last written as a line
    bool m_tty;
    bool m_drawn = false;
    QElapsedTimer m_sinceDraw;
};
