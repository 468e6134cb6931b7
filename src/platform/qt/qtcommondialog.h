// SPDX-License-Identifier: MIT
#pragma once

#include "platform/commondialog.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

/// File dialogs over QFileDialog. Each kind of file (each filter: .bas programs, files for the flash disk) opens
/// in the folder last chosen for it during this run.
class QtCommonDialog : public CommonDialog
{
public:
    explicit QtCommonDialog(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    void setFilter(const QString &filter) override { m_filter = filter; }
    void showOpen() override;
    void showSave() override;
    QString fileName() const override { return m_fileName; }
    bool cancelled() const override { return m_cancelled; }

    /// "Description|pattern|..." to Qt's "Description (pattern);;...".
    static QString qtFilter(const QString &filter);

private:
    void finish(const QString &fileName);

    QPointer<QWidget> m_parent;
    QString m_filter;
    QHash<QString, QString> m_folders; // by filter
    QString m_fileName;
    bool m_cancelled = false;
};
