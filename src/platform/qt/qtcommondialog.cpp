// SPDX-License-Identifier: MIT
#include "qtcommondialog.h"

#include <QFileDialog>

QString QtCommonDialog::qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        // Several patterns are separated by ';' here and by blanks in Qt.
        const QString patterns = parts[i + 1].trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses; a description may already end with them.
        if (description.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')')))
            filters << description;
        else
            filters << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

void QtCommonDialog::showOpen()
{
    finish(QFileDialog::getOpenFileName(m_parent, QString(), QString(), qtFilter(m_filter)));
}

void QtCommonDialog::showSave()
{
    finish(QFileDialog::getSaveFileName(m_parent, QString(), QString(), qtFilter(m_filter)));
}

void QtCommonDialog::finish(const QString &fileName)
{
    m_fileName = fileName;
    m_cancelled = fileName.isEmpty();
}
