// SPDX-License-Identifier: MIT
#pragma once

#include "platform/messagebox.h"

#include <QPointer>
#include <QWidget>

/// Modal message boxes over QMessageBox.
class QtMessageBox : public MessageBox
{
public:
    explicit QtMessageBox(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    void show(const QString &text, Icon icon, const QString &title) override;

private:
    QPointer<QWidget> m_parent;
};
