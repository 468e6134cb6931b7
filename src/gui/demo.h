// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

class UDP;

/// Offers the simulated device of the demo mode: 127.0.0.1 first in the address list and selected, and the
/// device's port as the remote port. Nothing is saved to the settings file.
void offerDemoDevice(UDP &udp, quint16 port);
