// SPDX-License-Identifier: MIT
#include "hostlist.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <cstdio>

bool Options::isSerialEntry(const QString &entry)
{
    // No host name holds a path separator; a Windows port may also be written \\.\COM10.
    return isPortName(entry) || entry.contains(QLatin1Char('/')) || entry.contains(QLatin1Char('\\'));
}

QString Options::logName(const QString &entry)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    QString name = entry;
    return name.replace(unsafe, QStringLiteral("_")) + QStringLiteral(".log");
}

namespace HostList
{
QString read(const QString &path, QList<Options::Device> &devices)
{
    QFile file;
    const bool standardInput = path == QLatin1String("-");
    if (standardInput ? !file.open(stdin, QIODevice::ReadOnly)
                      : (file.setFileName(path), !file.open(QIODevice::ReadOnly)))
        return QStringLiteral("--hosts: %1: %2").arg(path, file.errorString());
    // A pipe tells its end only once read to it.
    const QList<QByteArray> lines = file.readAll().split('\n');
    const QString name = standardInput ? QStringLiteral("stdin") : QFileInfo(path).fileName();
    static const QRegularExpression comment(QStringLiteral("(^|\\s)#.*$"));
    static const QRegularExpression blank(QStringLiteral("\\s"));
    const qsizetype before = devices.size();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromLocal8Bit(lines[i]).remove(comment).trimmed();
        if (line.isEmpty())
            continue;
        const QString origin = QStringLiteral("%1 line %2").arg(name).arg(i + 1);
        if (line.contains(blank))
            return QStringLiteral("%1: one device a line, not \"%2\"").arg(origin, line);
        devices << Options::Device{line, origin};
    }
    if (devices.size() == before)
        return QStringLiteral("--hosts: no device in %1").arg(path);
    return {};
}

QString duplicate(const QList<Options::Device> &devices)
{
    QHash<QString, QString> seen;
    for (const Options::Device &device : devices) {
        const QString first = seen.value(device.entry);
        if (!first.isEmpty())
            return QStringLiteral("%1 is given twice: %2 and %3").arg(device.entry, first, device.origin);
        seen.insert(device.entry, device.origin);
    }
    return {};
}
} // namespace HostList
