// SPDX-License-Identifier: MIT
#include "app/window.h"

void UDP::Command11_Click()
{
    tbSendData.SetFocus();
    // The program listing arrives with its own work.
}

void UDP::Command12_Click()
{
    tbSendData.SetFocus();
    // "NEW" arrives with the program work.
}

void UDP::Command13_Click()
{
    tbSendData.SetFocus();
    // "VER" arrives with the program work.
}
