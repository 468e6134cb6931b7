// SPDX-License-Identifier: MIT
#include "portname.h"

#include "platform/failure.h"

#include <limits>

qint16 commPortNumber(const QByteArray &portBox)
{
    bool ok = false;
    const qlonglong value = portBox.mid(3).trimmed().toLongLong(&ok);
    if (!ok)
        throw Failure(Err::TypeMismatch,
                      QStringLiteral("Type mismatch: no port number in \"%1\"").arg(QString::fromLatin1(portBox)));
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        throw Failure(Err::Overflow, QStringLiteral("Overflow: port number %1").arg(value));
    return qint16(value);
}
