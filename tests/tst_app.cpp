// SPDX-License-Identifier: MIT
#include "harness.h"

#include <QTest>

class TestApp : public QObject
{
    Q_OBJECT
private slots:
    void startsEmpty();
};

void TestApp::startsEmpty()
{
    Harness h;
    h.udp.Form_Load();
    QCOMPARE(h.udp.tbRemotePort.Text(), QByteArray("111"));
}

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
