// SPDX-License-Identifier: MIT
#include "app/window.h"

void UDP::TMRComm_Timer()
{
    // The serial poll arrives with the serial port work.
}
