// SPDX-License-Identifier: MIT
#include "app/window.h"

#include "platform/mscomm.h"

void UDP::Command6_Click()
{
    if (!MSComm1.portOpen())
        return;
    // The serial send arrives with the serial port work.
}
