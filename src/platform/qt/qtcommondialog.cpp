// SPDX-License-Identifier: MIT
#include "qtcommondialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace
{
/// The patterns as this system's file dialog reads them. "*.*" means every file on Windows; elsewhere it
/// would hide every file without an extension, so it becomes "*" there.
QString localPatterns(const QString &patterns)
{
#if defined(Q_OS_WIN)
    return patterns;
#else
    QStringList each = patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString &pattern : each)
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*");
    return each.join(QLatin1Char(' '));
#endif
}
} // namespace

QString QtCommonDialog::qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        // Several patterns are separated by ';' here and by blanks in Qt.
        const QString given = parts[i + 1].trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString patterns = localPatterns(given);
        // Qt reads the patterns from the last parentheses; a description may already end with them.
        const QString shown = QLatin1Char('(') + given + QLatin1Char(')');
        if (description.endsWith(shown))
            filters << description.chopped(shown.size()) + QLatin1Char('(') + patterns + QLatin1Char(')');
        else
            filters << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

void QtCommonDialog::showOpen()
{
    finish(QFileDialog::getOpenFileName(m_parent, QString(), m_folders.value(m_filter), qtFilter(m_filter)));
}

void QtCommonDialog::showSave()
{
    finish(QFileDialog::getSaveFileName(m_parent, QString(), m_folders.value(m_filter), qtFilter(m_filter)));
}

void QtCommonDialog::finish(const QString &fileName)
{
    m_fileName = fileName;
    m_cancelled = fileName.isEmpty();
    if (!m_cancelled)
        m_folders.insert(m_filter, QFileInfo(fileName).absolutePath());
}
