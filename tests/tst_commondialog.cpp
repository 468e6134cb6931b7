// SPDX-License-Identifier: MIT
#include "platform/qt/qtcommondialog.h"

#include <QTest>

class TestCommonDialog : public QObject
{
    Q_OBJECT
private slots:
    void qtFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("qt");
#if defined(Q_OS_WIN)
        const QString all = QStringLiteral("*.*");
#else
        // Elsewhere "*.*" would hide every file without an extension.
        const QString all = QStringLiteral("*");
#endif
        QTest::newRow("all files") << "All files (*.*)|*.*" << QStringLiteral("All files (%1)").arg(all);
        QTest::newRow("one pattern, no parentheses") << "BASIC|*.bas"
                                                     << "BASIC (*.bas)";
        QTest::newRow("two patterns") << "Text|*.txt;*.*" << QStringLiteral("Text (*.txt %1)").arg(all);
        QTest::newRow("two filters") << "BASIC (*.bas)|*.bas|All|*.*"
                                     << QStringLiteral("BASIC (*.bas);;All (%1)").arg(all);
        QTest::newRow("a name with a dot is kept") << "Settings|terminal.ini"
                                                   << "Settings (terminal.ini)";
    }
    void qtFilter()
    {
        QFETCH(QString, filter);
        QTEST(QtCommonDialog::qtFilter(filter), "qt");
    }
};

QTEST_GUILESS_MAIN(TestCommonDialog)
#include "tst_commondialog.moc"
