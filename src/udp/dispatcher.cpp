// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "platform/winsock.h"

#include <utility>

namespace
{
constexpr char kAccessDenied[] = "ACCESS DENIED\r\n";

void endProgramExchange(UDP &w)
{
    w.ProgDownloadMode = 0;
    w.ProgSaveMode = 0;
}

/// The device's reply to "LIST": one line of the program, or "OK" at the end of the listing.
void listingReply(UDP &w, const QByteArray &text)
{
    // A login or password prompt: the device will not list without one, the capture cannot go on.
    if (text.contains("Login") || text.contains("Passwor")) {
        w.files.close(w.ProgFileNum);
        w.tbReceiveData.append(kAccessDenied);
        endProgramExchange(w);
    } else if (text.left(5).contains("OK")) {
        // Only near the start: a listed line may well hold "OK" further on.
        w.files.close(w.ProgFileNum);
        w.tbReceiveData.setText(QByteArray("LOAD BASIC PROGRAM COMPLETED") + CRLF);
        endProgramExchange(w);
    } else {
        w.files.print(w.ProgFileNum, text);
        w.tbReceiveData.setText("LOAD DATA = " + text + CRLF);
    }
}

/// The line the download cursor points at; a cursor beyond the table never reaches it.
const QByteArray &progLine(const UDP &w, qint16 index)
{
    if (index < 0 || index >= qint16(w.ProgLine.size()))
        throw Failure(Err::SubscriptOutOfRange, QStringLiteral("Subscript out of range"));
    return w.ProgLine[index];
}

/// The device's reply to a program line: "OK" asks for the next one, "ERROR" rejects the last.
void downloadReply(UDP &w, const QByteArray &text)
{
    if (text.contains("ERROR")) {
        w.files.close(w.ProgFileNum);
        w.tbReceiveData.append(QByteArray("Error - see  source file ") + CRLF);
        endProgramExchange(w);
        return;
    }
    if (text.contains("Login")) {
        w.files.close(w.ProgFileNum);
        w.tbReceiveData.append(kAccessDenied);
        endProgramExchange(w);
        return;
    }
    if (text.contains("Passwor")) {
        // The password prompt ends the download but the reply is still read for "OK" below.
        w.files.close(w.ProgFileNum);
        w.tbReceiveData.append(kAccessDenied);
        endProgramExchange(w);
    }
    if (text.contains("OK")) {
        w.ProgLineIdx = qint16(w.ProgLineIdx + 1);
        const QByteArray &line = progLine(w, w.ProgLineIdx);
        w.RetVal = w.UDP_Send(line + CRLF);
        w.tbReceiveData.setText("LOAD DATA = " + line);
        if (w.ProgLineIdx == w.ProgLineCount) {
            // Complete as soon as the last line is out; its reply goes to the console.
            w.ProgLineIdx = 0;
            w.tbReceiveData.setText(QByteArray("SEND BASIC PROGRAM COMPLETED") + CRLF);
            endProgramExchange(w);
        }
        return;
    }
    w.tbReceiveData.append(text + CRLF);
}
} // namespace

void UDP::Winsock1_DataArrival()
{
    RxText.clear();
    try {
        RxText = Winsock1.getData();
        logRaw(RxText);
        YesConnect.setVisible(true);
        NoConnect.setVisible(false);
        if (ProgSaveMode == 1) {
            listingReply(*this, RxText);
        } else if (FlashWriting == 1) {
            FlashWriteReply(RxText);
        } else if (FlashReading == 1) {
            FlashReadReply(RxText);
        } else if (ProgDownloadMode == 1) {
            downloadReply(*this, RxText);
        } else {
            tbReceiveData.append(RxText);
            tbReceiveData.caretToEnd();
        }
    } catch (const Failure &failure) {
        // The box is modal and datagrams keep arriving inside it: a device that repeats the reply that
        // failed would otherwise stack one box on another. Count the repeats instead.
        if (failure.number() == m_dispatcherBoxOpen) {
            ++m_suppressedFailures;
            return;
        }
        const int outerBox = std::exchange(m_dispatcherBoxOpen, failure.number());
        showFailure(failure);
        m_dispatcherBoxOpen = outerBox;
    }
}
