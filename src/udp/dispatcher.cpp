// SPDX-License-Identifier: MIT
#include "app/udp.h"

void UDP::Winsock1_DataArrival() {}
