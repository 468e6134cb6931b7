// SPDX-License-Identifier: MIT
// The reply rules of a program exchange, shared by the datagram dispatcher and the serial line parser.
#include "app/window.h"

#include "platform/mscomm.h"

#include <QFile>
#include <QFileInfo>

#include <utility>

namespace
{
constexpr char kAccessDenied[] = "ACCESS DENIED\r\n";
} // namespace

void UDP::ProgExchangeEnd()
{
    ProgDownloadMode = 0;
    ProgSaveMode = 0;
}

void UDP::ProgListingReply(const QByteArray &text, Via via)
{
    // A login or password prompt: the device will not list without one, the capture cannot go on.
    // Only datagrams carry the prompts.
    if (via == Via::Datagram && (text.contains("Login") || text.contains("Passwor"))) {
        const QString left = ProgListingDrop();
        tbReceiveData.append(kAccessDenied);
        ProgExchangeEnd();
        if (!left.isEmpty())
            msgBox(left);
    } else if (via == Via::Serial) {
        ProgListingPiece(text);
    } else if (text.left(5).contains("OK")) {
        // Only near the start: a listed line may well hold "OK" further on.
        ProgListingEnd();
    } else {
        ProgListingWrite(text);
        tbReceiveData.setText("LOAD DATA = " + text + CRLF);
    }
}

void UDP::ProgListingPiece(const QByteArray &text)
{
    // A datagram is one line, but a poll takes whatever the line brought: judged line by line.
    bool ended = false;
    ProgListingWrite(m_listing.take(text, ended));
    if (ended) {
        ProgListingEnd();
        return;
    }
    tbReceiveData.setText("LOAD DATA = " + text + CRLF);
}

void UDP::ProgListingEnd()
{
    ProgExchangeEnd();
    if (m_listingTarget.isEmpty()) {
        files.release(ProgFileNum);
    } else {
        try {
            files.commit(ProgFileNum);
        } catch (const Failure &failure) {
            m_listingTarget.clear();
            throw Failure(Err(failure.number()), QStringLiteral("%1. The listing is in %2.")
                                                     .arg(failure.description(), std::exchange(m_listingPartial, {})));
        }
        m_listingTarget.clear();
        m_listingPartial.clear();
    }
    tbReceiveData.setText(QByteArray("LOAD BASIC PROGRAM COMPLETED") + CRLF);
}

void UDP::ProgListingWrite(const QByteArray &bytes)
{
    try {
        files.print(ProgFileNum, bytes);
    } catch (const Failure &failure) {
        // Every later line would fail the same way (a full disk): the capture ends at the first, which is told.
        m_listing.release();
        const QString left = ProgListingDrop();
        ProgSaveMode = 0;
        throw left.isEmpty() ? failure
                             : Failure(Err(failure.number()), failure.description() + QStringLiteral(". ") + left);
    }
}

QString UDP::ProgListingDrop()
{
    files.release(ProgFileNum);
    if (m_listingTarget.isEmpty())
        return {};
    const QString target = std::exchange(m_listingTarget, {}), partial = std::exchange(m_listingPartial, {});
    const QString ended = QStringLiteral("The listing ended before the device's OK: %1 is left as it was").arg(target);
    if (QFileInfo(partial).size() == 0 && QFile::remove(partial))
        return ended + QStringLiteral(", and nothing came.");
    return ended + QStringLiteral(", and what came is in %1.").arg(partial);
}

void UDP::ProgListingStop()
{
    if (const QByteArray held = ProgSaveMode == 1 ? m_listing.release() : QByteArray(); !held.isEmpty())
        ProgListingWrite(held);
    const QString left = ProgListingDrop();
    ProgSaveMode = 0;
    if (!left.isEmpty())
        msgBox(left);
}

void UDP::ProgDownloadReply(const QByteArray &text, Via via)
{
    // A poll takes what the line has brought so far, so the device's "OK" or "ERROR" may be cut between two pieces
    // ("O", and "K" CR LF a poll later): the end of the last piece is judged again with the next, or the download
    // would wait for ever for an answer that came.
    const QByteArray reply = via == Via::Serial ? std::exchange(m_replyTail, {}) + text : text;
    if (reply.contains("ERROR")) {
        if (via == Via::Datagram)
            files.release(ProgFileNum);
        tbReceiveData.append(QByteArray("Error - see  source file ") + CRLF);
        ProgExchangeEnd();
        return;
    }
    if (via == Via::Datagram && text.contains("Login")) {
        files.release(ProgFileNum);
        tbReceiveData.append(kAccessDenied);
        ProgExchangeEnd();
        return;
    }
    if (via == Via::Datagram && text.contains("Passwor")) {
        // The password prompt ends the download, but the reply is still read for "OK" below.
        files.release(ProgFileNum);
        tbReceiveData.append(kAccessDenied);
        ProgExchangeEnd();
    }
    if (reply.contains("OK")) {
        ProgAdvance(via);
        return;
    }
    if (via == Via::Serial)
        m_replyTail = reply.right(4); // enough for the rest of "ERROR" to come with the next piece
    tbReceiveData.append(text + CRLF);
}

const QByteArray &UDP::ProgLineAt(qint16 index) const
{
    // A cursor beyond the table never reaches it.
    if (index < 0 || index >= qint16(ProgLine.size()))
        throw Failure(Err::SubscriptOutOfRange, QStringLiteral("Subscript out of range"));
    return ProgLine[index];
}

void UDP::ProgAdvance(Via via)
{
    ProgLineIdx = qint16(ProgLineIdx + 1);
    const QByteArray line = ProgLineAt(ProgLineIdx) + CRLF;
    // A reply by datagram is answered by datagram alone; the serial port and ">>" also use the port
    // when it is open, and ">>" on a UDP-only link sends the line twice.
    if (via == Via::Datagram) {
        RetVal = UDP_Send(line);
        ProgCheckSent();
    } else {
        ProgSendLine(line);
    }
    if (via == Via::Button && !MSComm1.portOpen()) {
        RetVal = UDP_Send(line);
        ProgCheckSent();
    }
    tbReceiveData.setText("LOAD DATA = " + line.chopped(2));
    if (ProgLineIdx == ProgLineCount)
        ProgComplete();
}

void UDP::ProgSendLine(const QByteArray &line)
{
    // The two links are never open together: the line goes out on the one that is.
    RetVal = UDP_Send(line);
    ProgCheckSent();
    if (MSComm1.portOpen()) {
        Pic.setFillColor(Colour::SendGreen);
        QByteArray framed = line; // WriteCOM32 replaces it with what it wrote
        RetVal = WriteCOM32(framed);
        ProgCheckSent();
    }
}

void UDP::ProgCheckSent()
{
    // A line the link refused would be shown as sent, and the download would wait for ever for its answer.
    if (!m_sendFailure)
        return;
    ProgDownloadMode = 0;
    throw Failure(
        static_cast<Err>(m_sendFailure->number()),
        QStringLiteral("Line %1 of the program cannot be sent: %2").arg(ProgLineIdx).arg(m_sendFailure->description()));
}

void UDP::ProgComplete()
{
    // Complete as soon as the last line is out; its reply goes to the console.
    ProgLineIdx = 0;
    tbReceiveData.setText(QByteArray("SEND BASIC PROGRAM COMPLETED") + CRLF);
    ProgExchangeEnd();
}
