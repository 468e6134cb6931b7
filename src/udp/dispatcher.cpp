// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "platform/system.h"
#include "platform/winsock.h"

#include <utility>

void UDP::Winsock1_DataArrival()
{
    RxText.clear();
    try {
        // The datagram and the command it brings reach the log in one write, before the command goes out.
        const LogBatch batch(*this);
        RxText = Winsock1.getData();
        monitorReceived(RxText);
        countReceived(RxText.size());
        logRaw(RxText);
        YesConnect.setVisible(true);
        NoConnect.setVisible(false);
        if (ProgSaveMode == 1) {
            ProgListingReply(RxText, Via::Datagram);
        } else if (FlashWriting == 1) {
            FlashWriteReply(RxText);
        } else if (FlashReading == 1) {
            FlashReadReply(RxText);
        } else if (ProgDownloadMode == 1) {
            ProgDownloadReply(RxText, Via::Datagram);
        } else {
            tbReceiveData.appendReceived(RxText, m_system.clockMs());
            tbReceiveData.caretToEnd();
            spotPasswordPrompt(RxText, false);
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
