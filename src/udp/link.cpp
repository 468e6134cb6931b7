// SPDX-License-Identifier: MIT
#include "app/udp.h"

void UDP::cbBind_Click() {}
void UDP::Command1_Click() {}
