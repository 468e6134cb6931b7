// SPDX-License-Identifier: MIT
// Owns how the terminal's file filters ("description|patterns|...") become the filters of Qt's file dialog.
#include "platform/qt/qtcommondialog.h"

#include <QOperatingSystemVersion>
#include <QTest>

class TestCommonDialog : public QObject
{
    Q_OBJECT
private slots:
    void qtFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("qt"); // "ALL" is this system's pattern for every file
        QTest::newRow("all files") << QString("All files (*.*)|*.*") << QString("All files (ALL)");
        QTest::newRow("one pattern, no parentheses") << QString("BASIC|*.bas") << QString("BASIC (*.bas)");
        QTest::newRow("two patterns") << QString("Text|*.txt;*.*") << QString("Text (*.txt ALL)");
        QTest::newRow("two filters") << QString("BASIC (*.bas)|*.bas|All|*.*") << QString("BASIC (*.bas);;All (ALL)");
        QTest::newRow("a name with a dot") << QString("Settings|terminal.ini") << QString("Settings (terminal.ini)");
        QTest::newRow("a description alone is left out") << QString("BASIC|*.bas|All") << QString("BASIC (*.bas)");
    }
    void qtFilter()
    {
        QFETCH(QString, filter);
        QFETCH(QString, qt);
        // Only Windows reads "*.*" as every file; elsewhere it would hide every file without an extension.
        const bool windows = QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows;
        QCOMPARE(QtCommonDialog::qtFilter(filter), qt.replace(QLatin1String("ALL"), windows ? "*.*" : "*"));
    }
};

QTEST_GUILESS_MAIN(TestCommonDialog)
#include "tst_commondialog.moc"
