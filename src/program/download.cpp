// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "platform/mscomm.h"
#include "platform/system.h"
#include "platform/winsock.h"

namespace
{
constexpr char kBasFiles[] = "BAS files (*.bas)|*.bas";
/// The line table holds lines 1 to 2048.
constexpr qint16 kMaxLines = 2048;
/// A line that starts with "0" keeps at most this many characters after each strip.
constexpr qsizetype kStrippedLength = 100;
/// The device takes a line number without leading zeros; at most three go.
constexpr int kZeroStrips = 3;

/// Reads the open .bas file into the line table; ProgLineIdx counts the lines stored.
void readProgram(UDP &w, const QString &name)
{
    while (!w.files.eof(w.ProgFileNum)) {
        w.ProgLineIdx = qint16(w.ProgLineIdx + 1);
        if (w.ProgLineIdx > kMaxLines)
            throw Failure(Err::SubscriptOutOfRange,
                          QStringLiteral("The program has more than %1 lines: %2").arg(kMaxLines).arg(name));
        QByteArray line = w.files.lineInput(w.ProgFileNum);
        for (int strip = 0; strip < kZeroStrips; ++strip)
            if (line.startsWith('0'))
                line = line.mid(1, kStrippedLength);
        w.ProgLine[w.ProgLineIdx] = line;
    }
    if (w.ProgLineIdx == 0)
        throw Failure(Err::SubscriptOutOfRange, QStringLiteral("The file holds no program lines: %1").arg(name));
}
} // namespace

QString UDP::ProgChooseFile(bool save)
{
    // A listing still being captured goes on while the dialog is open: its lines keep going into its file. A new
    // file, or none, ends it; a download under way goes on either way.
    const QString name = chooseLocalFile(kBasFiles, save);
    ProgListingStop();
    return name;
}

void UDP::Command10_Click()
{
    tbSendData.SetFocus();
    if (Winsock1.state() != 1 && !MSComm1.portOpen()) {
        refuse(Why::NotConnected);
        return;
    }
    if (!lockDevice())
        return;
    try {
        const QString name = ProgChooseFile(false);
        if (name.isEmpty())
            return;
        ProgLineIdx = 0;
        ProgSaveMode = 0;
        ProgDownloadMode = 1;
        m_replyTail.clear();
        try {
            const qint16 number = files.FreeFile();
            files.openInput(number, name);
            ProgFileNum = number;
            readProgram(*this, name);
        } catch (const Failure &) {
            // Nothing has been sent: a later "OK" or ">>" must not send lines the file did not fill.
            files.release(ProgFileNum);
            ProgExchangeEnd();
            throw;
        }
        files.release(ProgFileNum);
        ProgLineCount = ProgLineIdx;
        ProgLineIdx = 1;
        m_system.sleep(100);
        ProgSendLine(ProgLine[1] + CRLF);
        tbReceiveData.append(ProgLine[1].left(5) + '\n');
        if (ProgLineIdx == ProgLineCount)
            ProgComplete();
    } catch (const Failure &failure) {
        showFailure(failure);
    }
}

void UDP::Command9_Click()
{
    if (ProgDownloadMode != 1) {
        refuse(Why::NoDownload);
        return;
    }
    try {
        ProgAdvance(Via::Button);
    } catch (const Failure &failure) {
        showFailure(failure);
    }
}

void UDP::Command14_Click()
{
    if (ProgDownloadMode != 1)
        refuse(Why::NothingToStop);
    ProgDownloadMode = 0;
}
