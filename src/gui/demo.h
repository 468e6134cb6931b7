// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QtGlobal>

class UDP;

/// Puts `entry` ("host" or "host:port") first in the address list and selects it, as the --host launch option
/// asks. An entry already in the list moves to the top rather than appearing twice. Nothing is saved to the
/// settings file.
void offerAddress(UDP &udp, const QByteArray &entry);

/// Offers the simulated device of the demo mode: 127.0.0.1 first in the address list and selected, and the
/// device's port as the remote port. Nothing is saved to the settings file.
void offerDemoDevice(UDP &udp, quint16 port);

/// Offers a sample list of saved commands for the simulated device, unless a list of its name is there. Nothing is
/// saved for it until the user changes the lists.
void offerDemoCommands(UDP &udp);
