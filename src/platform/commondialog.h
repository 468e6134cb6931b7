// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/// File open and save dialogs. The filter is "Description|pattern".
class CommonDialog
{
public:
    virtual ~CommonDialog() = default;
    virtual void setFilter(const QString &filter) = 0;
    /// Modal; afterwards fileName() and cancelled() tell what the user chose.
    virtual void showOpen() = 0;
    virtual void showSave() = 0;
    /// Empty when nothing was chosen.
    virtual QString fileName() const = 0;
    virtual bool cancelled() const = 0;
};
