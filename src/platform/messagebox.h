// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// Modal message boxes with an OK button.
class MessageBox
{
public:
    enum Icon { NoIcon, Critical };
    virtual ~MessageBox() = default;
    /// Returns when the user has closed the box.
    virtual void show(const QString &text, Icon icon, const QString &title) = 0;
};
