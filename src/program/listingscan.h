// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>

/// A listing that comes over the serial line: a poll takes whatever the line brought, the end of one listed line and
/// the start of the next, the last line with the closing "OK" behind it, or an "O" whose "K" comes with the next poll.
/// So the first five characters are judged at the start of each line, not of each piece, and a line start too short
/// to judge waits for the next piece. The device may end its lines with CR, LF or CR LF. The listing capture and the
/// wire monitor's record judge alike through this.
class ListingScan
{
public:
    /// Takes a piece; returns the listed bytes it completes: what was held back and the piece, up to a line start held
    /// back, or up to the line whose first five characters hold "OK", when `ended` tells that it came.
    QByteArray take(QByteArrayView piece, bool &ended);
    /// The line start held back, given up: the listing ends before its "OK".
    QByteArray release();

private:
    QByteArray m_head;      // the start of a listed line, too short yet to tell whether it is "OK"
    bool m_midLine = false; // the last piece ended inside a line already taken
    bool m_afterCR = false; // the last piece ended with a CR, whose LF may come with the next
};
