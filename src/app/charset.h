// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

/// The window's character set, Windows-1251: the one place where bytes become characters.
/// Our own table, because Qt's decoder for it exists only where Qt was built with ICU.
namespace Charset
{
QChar toUnicode(uchar byte);
QString decode(QByteArrayView bytes);
/// Characters outside the set become '?'.
QByteArray encode(const QString &text);
QByteArray toUpper(const QByteArray &bytes);
QByteArray toLower(const QByteArray &bytes);
} // namespace Charset
