// SPDX-License-Identifier: MIT
#include "app/window.h"

void UDP::Command10_Click()
{
    tbSendData.SetFocus();
    // The program download arrives with its own work.
}

void UDP::Command9_Click()
{
    if (ProgDownloadMode == 1)
        ProgAdvance(Via::Button);
}

void UDP::Command14_Click()
{
    ProgDownloadMode = 0;
}
