// SPDX-License-Identifier: MIT
#include "app/window.h"
#include "flash/hex.h"

#include "platform/mscomm.h"
#include "platform/winsock.h"

#include <QStringBuilder>

#include <limits>

namespace
{
constexpr char kAllFiles[] = "All files (*.*)|*.*";
constexpr char Q = '"';
/// Bytes per WRITE command; the device takes 21 bytes (42 digits) in one line.
constexpr qint32 kWriteBlock = 21;
/// Bytes in every data reply of a read ("READ 20").
constexpr qsizetype kReadBlock = 20;
constexpr char kNoReply[] = "NO REPLY";
/// A read's bytes go to the local file in pieces that double up to this size: the first block goes at once, so that
/// a disk that is full already fails the first block, and one that fills later fails before twice what was written.
constexpr qsizetype kReadBackPiece = 64 * 1024;
/// Every flash-disk command goes out from the command line, which keeps showing the last one sent,
/// and is logged as a line. The first key the user types there replaces it. It is logged just before it goes, so
/// that the reply that brought it and the command reach the log in one write.
void sendCommand(UDP &w, const QByteArray &command)
{
    w.tbSendData.setText(command);
    w.tbSendData.setProvisional(true);
    const QByteArray line = command % CRLF;
    w.logRaw(line);
    w.RetVal = w.UDP_Send(line);
}

/// The flash disk is reached by datagrams only; the status line says so when the link is down.
bool flashReachable(UDP &w)
{
    if (w.Winsock1.state() == 1)
        return true;
    w.refuse(w.MSComm1.portOpen() ? Why::UdpOnly : Why::NotConnected);
    return false;
}

/// A second transfer would take over the flags and the file number of the one under way.
bool refuseSecondTransfer(UDP &w)
{
    if (w.FlashWriting == 0 && w.FlashReading == 0)
        return false;
    w.msgBox(QStringLiteral("A transfer is running: press End first."));
    return true;
}

/// The device answered: the silence count starts again, and the bar shows its own text again.
void replyCame(UDP &w, QByteArray &barText)
{
    w.TMRFlash.restart();
    if (w.vbalProgressBar1.Text() == kNoReply)
        w.vbalProgressBar1.setText(barText);
}

/// A read that went wrong ends as the device's ERROR ends it.
void readFailed(UDP &w)
{
    w.Command5_Click();
    w.vbalProgressBar1.setText("ERROR");
}

/// The device refused the transfer; its reply says why ("ERROR file not found"), so the user reads it in the
/// pane as console text.
void deviceRefused(UDP &w, const QByteArray &reply)
{
    w.tbReceiveData.append(reply);
    w.tbReceiveData.caretToEnd();
    w.Command5_Click();
    w.vbalProgressBar1.setText("ERROR");
}
} // namespace

void UDP::Command3_Click()
{
    tbSendData.SetFocus();
    if (!flashReachable(*this) || refuseSecondTransfer(*this) || !lockDevice())
        return;
    try {
        const QString name = chooseLocalFile(kAllFiles, false);
        if (name.isEmpty())
            return;
        ProgLineIdx = 0;
        vbalProgressBar1.setText("NO FILE");
        // The number is kept only once its file is open: a number that names no file of ours could later
        // name another exchange's file, which End would then close.
        const qint16 local = files.FreeFile();
        files.openInput(local, name);
        FlashFile = local;
        try {
            const qint64 length = files.lof(FlashFile);
            if (length > std::numeric_limits<qint32>::max())
                throw Failure(Err::Overflow, QStringLiteral("The file is too large to send: %1").arg(name));
            FlashCount = qint32(length);
            if (FlashCount < 1)
                throw Failure(Err::SubscriptOutOfRange, QStringLiteral("The file is empty: %1").arg(name));
            FlashData = files.readAll(FlashFile);
            // The table holds exactly FlashCount bytes, even if the file changed after its length was taken.
            FlashData.resize(FlashCount, '\0');
        } catch (const Failure &) {
            // The transfer never starts, so nothing else would ever close the local file.
            files.release(FlashFile);
            throw;
        }
        files.release(FlashFile);
        vbalProgressBar1.setMax(FlashCount);
        vbalProgressBar1.setText("SEND");
        FlashWriting = 1;
        FlashLastBlock = 0;
        FlashPos = 1;
        sendCommand(*this, "OPENWR " + (Q + Text2.Text()) + Q);
        TMRFlash.setEnabled(true);
    } catch (const Failure &failure) {
        showFailure(failure);
    }
}

void UDP::FlashWriteReply(const QByteArray &reply)
{
    replyCame(*this, m_flashBarText);
    if (reply.contains("ERROR")) {
        deviceRefused(*this, reply);
        return;
    }
    if (!reply.contains("OK"))
        return;
    if (FlashLastBlock == 1) {
        Command5_Click();
        vbalProgressBar1.setText("OK");
        return;
    }
    const bool lastBlock = qint64(FlashPos) + (kWriteBlock - 1) >= FlashCount;
    const qint32 blockEnd = lastBlock ? FlashCount : FlashPos + (kWriteBlock - 1);
    const qsizetype size = qMax<qsizetype>(0, qsizetype(blockEnd) - FlashPos + 1);
    if (size > 0 && (FlashPos < 1 || blockEnd > FlashData.size()))
        throw Failure(Err::SubscriptOutOfRange, QStringLiteral("Subscript out of range"));
    const QByteArray hex = size > 0 ? Hex::encode(QByteArrayView(FlashData).sliced(FlashPos - 1, size)) : QByteArray();
    FlashPos += qint32(size);
    if (lastBlock)
        FlashLastBlock = 1;
    sendCommand(*this, "WRITE " % (Q % hex) % Q);
    vbalProgressBar1.setValue(FlashPos);
}

void UDP::Command4_Click()
{
    tbSendData.SetFocus();
    if (!flashReachable(*this) || refuseSecondTransfer(*this) || !lockDevice())
        return;
    try {
        const QString name = chooseLocalFile(kAllFiles, true);
        if (name.isEmpty())
            return;
        vbalProgressBar1.setText("READ");
        vbalProgressBar1.setValue(0);
        vbalProgressBar1.setMax(100);
        FlashCount = 0;
        // The bytes go to a new file that replaces the chosen one only when the whole file has come: a read
        // that fails or is ended leaves an existing file as it was.
        const qint16 local = files.FreeFile();
        files.openAtomic(local, name);
        FlashFile = local;
        FlashReading = 1;
        FlashLastBlock = 0;
        FlashPos = 1;
        m_readReplies = -1;
        m_readBack.resize(0);
        m_readBackPiece = kReadBlock;
        sendCommand(*this, "OPENRD " + (Q + Text2.Text()) + Q);
        TMRFlash.setEnabled(true);
    } catch (const Failure &failure) {
        showFailure(failure);
    }
}

void UDP::FlashReadReply(const QByteArray &reply)
{
    replyCame(*this, m_flashBarText);
    if (reply.contains("ERROR")) {
        deviceRefused(*this, reply);
        return;
    }
    const qsizetype endMarker = reply.indexOf("ND");
    if (endMarker >= 0) {
        // Only whole pairs before the marker are data: "ND" at the seventh or eighth character leaves three bytes.
        const qsizetype k = endMarker / 2;
        for (qsizetype i = 1; i <= k; ++i) {
            RetVal = Hex::pairValue(reply, i);
            m_readBack += char(RetVal);
        }
        writeReadBack();
        try {
            files.commit(FlashFile);
        } catch (const Failure &) {
            readFailed(*this);
            throw;
        }
        Command5_Click();
        vbalProgressBar1.setText("OK");
        vbalProgressBar1.setValue(100);
        return;
    }
    if (reply.contains("OK")) {
        // Every READ is answered by one data reply before its OK: an OK without one means the data was lost.
        if (m_readReplies == 0) {
            readFailed(*this);
            return;
        }
        m_readReplies = 0;
        sendCommand(*this, QByteArrayLiteral("READ 20\""));
        return;
    }
    if (m_readReplies != 0) {
        readFailed(*this); // data that no READ asked for
        return;
    }
    m_readReplies = 1;
    // A data reply always fills 20 bytes: a short reply, a line end or a stray character gives digit 0.
    for (qsizetype i = 1; i <= kReadBlock; ++i) {
        RetVal = Hex::pairValue(reply, i);
        m_readBack += char(RetVal);
    }
    if (m_readBack.size() >= m_readBackPiece)
        writeReadBack();
    FlashCount = (FlashCount + 1) % 100;
    vbalProgressBar1.setValue(FlashCount);
}

void UDP::writeReadBack()
{
    try {
        files.print(FlashFile, m_readBack);
    } catch (const Failure &) {
        // The first failed write ends the read; its box is shown once, after the device has been told.
        readFailed(*this);
        throw;
    }
    m_readBack.resize(0); // keeps its room for the next piece
    m_readBackPiece = qMin(2 * m_readBackPiece, kReadBackPiece);
}

void UDP::Command5_Click()
{
    tbSendData.SetFocus();
    if (!flashReachable(*this))
        return;
    // With no transfer of its own, End would close the file of another terminal's transfer.
    if (FlashWriting == 0 && FlashReading == 0 && !lockDevice())
        return;
    FlashStop();
    sendCommand(*this, "CLOSE");
}

void UDP::FlashStop()
{
    FlashWriting = 0;
    FlashReading = 0;
    FlashLastBlock = 0;
    FlashPos = 0;
    // A read that has not reached its end marker discards what came: the local file stays as it was.
    files.release(FlashFile);
    m_readBack.resize(0);
    TMRFlash.setEnabled(false);
    if (vbalProgressBar1.Text() == kNoReply)
        vbalProgressBar1.setText(m_flashBarText);
}

void UDP::TMRFlash_Timer()
{
    // Shown only: nothing is sent again, and the transfer goes on waiting until End.
    if (vbalProgressBar1.Text() == kNoReply)
        return;
    m_flashBarText = vbalProgressBar1.Text();
    vbalProgressBar1.setText(kNoReply);
}

qint16 UDP::Decode(QByteArray colums)
{
    // The whole text is compared: "", "a" or "0A" are no digit.
    return colums.size() == 1 ? Hex::digitValue(colums[0]) : 0;
}

qint16 UDP::Decode2(QByteArray colums)
{
    switch (colums.size()) {
    case 2:
        return qint16(16 * Decode(colums.left(1)) + Decode(colums.mid(1, 1)));
    case 1:
        return Decode(colums);
    default:
        return 0;
    }
}
