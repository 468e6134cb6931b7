// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

/// The port number in the port box's text: the number from its fourth character on, whatever the first
/// three are ("COM3" gives 3, "COM12" 12, "XYZ7" 7). Blanks around it are allowed. A text with no number
/// there fails with 13, one beyond 16 bits with 6. No range check: the label's "1-9" is a hint only.
qint16 commPortNumber(const QByteArray &portBox);
