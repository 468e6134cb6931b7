// SPDX-License-Identifier: MIT
#include "app/charset.h"

#include <QStringDecoder>
#include <QTest>

class TestCharset : public QObject
{
    Q_OBJECT
private slots:
    void everyByte()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        QCOMPARE(Charset::encode(Charset::decode(all)), all);

        QStringDecoder decoder("windows-1251");
        if (!decoder.isValid())
            QSKIP("This Qt has no windows-1251 decoder (it was built without ICU)");
        for (int b = 0; b < 256; ++b) {
            const QString qt = decoder.decode(all.mid(b, 1));
            // 0x98 has no character in Windows-1251; our table keeps it as U+0098 so the byte survives.
            QVERIFY2(qt == QString(Charset::toUnicode(uchar(b))) || (b == 0x98 && qt == QChar::ReplacementCharacter),
                     qPrintable(QStringLiteral("byte 0x%1").arg(b, 2, 16)));
        }
    }

    void changesCase()
    {
        QByteArray lower = "mdc 16,ver\r\n\xB8", upper = "MDC 16,VER\r\n\xA8"; // Latin, signs, yo
        for (int b = 0; b < 32; ++b) {
            lower += char(0xE0 + b); // Cyrillic a to ya
            upper += char(0xC0 + b);
        }
        QCOMPARE(Charset::toUpper(lower), upper);
        QCOMPARE(Charset::toLower(upper), lower);
    }
};

QTEST_GUILESS_MAIN(TestCharset)
#include "tst_charset.moc"
