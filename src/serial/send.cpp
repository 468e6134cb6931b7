// SPDX-License-Identifier: MIT
#include "app/udp.h"

void UDP::Command6_Click() {}
