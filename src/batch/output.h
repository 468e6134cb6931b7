// SPDX-License-Identifier: MIT
#pragma once

#include "exitcode.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

/// What one run did: the closing message on stderr, or with --json the one object on stdout.
struct Report {
    QString verb;
    QString target; // the link as asked for
    QString link;   // the link as the status line told it once it was up
    Exit exit = Exit::Done;
    qint64 bytesSent = 0;
    qint64 bytesReceived = 0;
    double seconds = 0;
    QByteArray reply; // what the device answered, as it sent it
    QString error;
    bool errorShown = false; // a box told it on stderr already
};

namespace Output
{
/// From now on stdout takes bytes as they are, on every system; called before anything is written to it.
void keepBytes();
/// The device's text to stdout as it came, byte for byte.
void reply(const QByteArray &bytes);
/// "vantrel: text" on stderr.
void message(const QString &text);
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
