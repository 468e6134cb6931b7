// SPDX-License-Identifier: MIT
#include "qtmessagebox.h"

#include <QMessageBox>

void QtMessageBox::show(const QString &text, Icon icon, const QString &title)
{
    QMessageBox box(icon == Critical ? QMessageBox::Critical : QMessageBox::NoIcon, title, text, QMessageBox::Ok,
                    m_parent);
    box.exec();
}
