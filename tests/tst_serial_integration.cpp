// SPDX-License-Identifier: MIT
#include "harness.h"
#include "platform/qt/qtmscomm.h"
#include "ptydevicesim.h"
#include "serial/modbus.h"
#include "serialport.h"

#include <QFileInfo>
#include <QTest>

namespace
{

/// The window model on the real serial port, whose port 3 (the port box's "COM3") is the simulated device on
/// a pseudo-terminal, running on the same thread. The other components are fakes.
struct SerialLink : WorkDir {
    ~SerialLink() { qunsetenv("VANTREL_COM3"); }

    /// Starts the device, points port 3 at it, starts the window and opens the port; false when no
    /// pseudo-terminal can be made (the reason in `error`).
    bool open()
    {
        if (!sim.start(&error))
            return false;
        qputenv("VANTREL_COM3", QFile::encodeName(sim.path()));
        udp.Form_Load();
        udp.BTNOpenCom.Click();
        logStart = file(QStringLiteral("Terminal.log")).size();
        return true;
    }
    /// Enter in the command line.
    void type(const QByteArray &line)
    {
        udp.tbSendData.setText(line);
        qint16 key = 13;
        udp.tbSendData_KeyPress(key);
    }
    QByteArray logAfterOpen() const { return file(QStringLiteral("Terminal.log")).mid(logStart); }

    PtyDeviceSim sim{PtyDeviceSim::Options{}};
    FakeWinsock winsock;
    QtMSComm mscomm;
    FakeDialog dialog;
    FakeMessageBox boxes;
    FakeSystem system;
    UDP udp{Platform{winsock, mscomm, dialog, boxes, system}};
    QString error;
    qsizetype logStart = 0;
};

} // namespace

class TestSerialIntegration : public QObject
{
    Q_OBJECT
private slots:
    void verInEachForm_data();
    void verInEachForm();
    void deviceGone();
};

void TestSerialIntegration::verInEachForm_data()
{
    QTest::addColumn<int>("check1");
    QTest::addColumn<int>("check3");
    QTest::addColumn<QByteArray>("shown"); // what the pane shows of the reply
    QTest::addColumn<QByteArray>("wire");  // what the device sent, as the log holds it
    const QByteArray ver = "VER 3.1 SIM\r\n";
    QTest::newRow("plain line") << 0 << 0 << ver << ver;
    QTest::newRow("RTU frame to station 16") << 1 << 0 << ver << Modbus::frame(16, 'C', ver);
    const QByteArray mdc = "MDC 16: VER 3.1 STATION\r\n";
    QTest::newRow("MDC line via USB") << 1 << 1 << mdc << mdc;
}

void TestSerialIntegration::verInEachForm()
{
    QFETCH(int, check1);
    QFETCH(int, check3);
    QFETCH(QByteArray, shown);
    QFETCH(QByteArray, wire);
    SerialLink link;
    if (!link.open())
        QSKIP(qPrintable("no pseudo-terminal: " + link.error));
    UDP &w = link.udp;
    QCOMPARE(portState(w), QByteArray(kPortOpen));
    w.Check1.setValue(qint16(check1));
    w.Check3.setValue(qint16(check3));

    link.type("VER");
    // The poll runs by hand: each try is one tick, with the event loop turning in between.
    const QByteArray pane = "\r\nVER\r\n" + shown;
    QTRY_VERIFY_WITH_TIMEOUT((w.TMRComm_Timer(), w.tbReceiveData.Text() == pane), 5000);
    QCOMPARE(link.logAfterOpen(), "VER\r\n" + wire);
    QVERIFY(link.boxes.boxes.isEmpty());
}

void TestSerialIntegration::deviceGone()
{
    SerialLink link;
    if (!link.open())
        QSKIP(qPrintable("no pseudo-terminal: " + link.error));
    UDP &w = link.udp;
    QCOMPARE(portState(w), QByteArray(kPortOpen));
    const QString device = QFileInfo(link.sim.path()).canonicalFilePath();

    link.sim.stop();
    QTRY_VERIFY_WITH_TIMEOUT((w.TMRComm_Timer(), !link.boxes.boxes.isEmpty()), 5000);
    // Later ticks find the port closed and say nothing more.
    for (int tick = 0; tick < 3; ++tick)
        w.TMRComm_Timer();
    QCOMPARE(link.boxes.boxes.size(), 1);
    QCOMPARE(link.boxes.boxes[0].title, QStringLiteral("Error#8020"));
    QCOMPARE(link.boxes.boxes[0].text, "Device disconnected: " + device);
    QCOMPARE(portState(w), QByteArray(kPortClosed));
}

QTEST_GUILESS_MAIN(TestSerialIntegration)
#include "tst_serial_integration.moc"
