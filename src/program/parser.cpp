// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "platform/system.h"

void UDP::Com_Parser()
{
    if (ProgSaveMode == 1) {
        ProgListingReply(RxText, Via::Serial);
    } else if (ProgDownloadMode != 1) {
        // The device's own line ends are the only ones: a line may well arrive over several polls.
        tbReceiveData.appendReceived(RxText, m_system.clockMs());
        tbReceiveData.caretToEnd();
        spotPasswordPrompt(RxText, true);
    } else {
        ProgDownloadReply(RxText, Via::Serial);
    }
}
