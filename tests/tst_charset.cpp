// SPDX-License-Identifier: MIT
#include "app/charset.h"

#include <QStringDecoder>
#include <QTest>

class TestCharset : public QObject
{
    Q_OBJECT
private slots:
    void matchesQtDecoder();
    void everyByteSurvives();
    void changesCase_data();
    void changesCase();
};

void TestCharset::matchesQtDecoder()
{
    QStringDecoder decoder("windows-1251");
    if (!decoder.isValid())
        QSKIP("This Qt has no windows-1251 decoder (it was built without ICU)");
    int compared = 0;
    for (int b = 0; b < 256; ++b) {
        const QString qt = decoder.decode(QByteArray(1, char(b)));
        // 0x98 has no character in Windows-1251; our table keeps it as U+0098 so the byte survives.
        if (qt == QString(QChar::ReplacementCharacter))
            continue;
        QVERIFY2(qt == QString(Charset::toUnicode(uchar(b))), qPrintable(QStringLiteral("byte 0x%1").arg(b, 2, 16)));
        ++compared;
    }
    QVERIFY(compared >= 255);
}

void TestCharset::everyByteSurvives()
{
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    QCOMPARE(Charset::encode(Charset::decode(all)), all);
}

void TestCharset::changesCase_data()
{
    QTest::addColumn<QByteArray>("lower");
    QTest::addColumn<QByteArray>("upper");
    QByteArray cyrillicLower, cyrillicUpper;
    for (int b = 0; b < 32; ++b) {
        cyrillicLower += char(0xE0 + b);
        cyrillicUpper += char(0xC0 + b);
    }
    QTest::newRow("latin") << QByteArray("ver") << QByteArray("VER");
    QTest::newRow("cyrillic a..ya") << cyrillicLower << cyrillicUpper;
    QTest::newRow("yo") << QByteArray("\xB8") << QByteArray("\xA8");
    QTest::newRow("digits and signs stay") << QByteArray("mdc 16,3\r\n") << QByteArray("MDC 16,3\r\n");
}

void TestCharset::changesCase()
{
    QFETCH(QByteArray, lower);
    QFETCH(QByteArray, upper);
    QCOMPARE(Charset::toUpper(lower), upper);
    QCOMPARE(Charset::toLower(upper), lower);
}

QTEST_GUILESS_MAIN(TestCharset)
#include "tst_charset.moc"
