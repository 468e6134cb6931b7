// SPDX-License-Identifier: MIT
#include "harness.h"
#include "platform/qt/qtmscomm.h"
#include "serialport.h"

#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace
{
/// The window model on the real serial port; the other components are fakes.
struct RealPort : WorkDir {
    FakeWinsock winsock;
    QtMSComm mscomm;
    FakeDialog dialog;
    FakeMessageBox boxes;
    FakeSystem system;
    UDP udp{Platform{winsock, mscomm, dialog, boxes, system}};
};
} // namespace

/// Port 3 (the port box's "COM3") is a fresh pseudo-terminal in each test; the test plays the device on its
/// master side.
class TestSerialPort : public QObject
{
    Q_OBJECT
    int m_master = -1;
    int m_slave = -1;
    QString m_device;

    /// A new pseudo-terminal behind port 3; false (with the reason in m_device) when none can be made.
    bool plugIn()
    {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            m_device = QString::fromLocal8Bit(strerror(errno));
            return false;
        }
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_device = QString::fromLocal8Bit(name);
        qputenv("VANTREL_COM3", name);
        return true;
    }
    void unplug()
    {
        ::close(std::exchange(m_master, -1));
        ::close(std::exchange(m_slave, -1));
    }
    /// What the device has received so far, without waiting.
    QByteArray deviceReads()
    {
        char buffer[512];
        return QByteArray(buffer, qMax<ssize_t>(::read(m_master, buffer, sizeof buffer), 0));
    }
    void deviceWrites(const QByteArray &bytes)
    {
        QCOMPARE(::write(m_master, bytes.constData(), bytes.size()), bytes.size());
    }

private slots:
    void init()
    {
        if (!plugIn())
            QSKIP(qPrintable(QStringLiteral("openpty failed: %1").arg(m_device)));
    }
    void cleanup()
    {
        qunsetenv("VANTREL_COM3");
        unplug();
    }

    void openAndClose()
    {
        RealPort p;
        UDP &w = p.udp;
        w.Form_Load();
        w.Option4.setValue(1);
        w.BTNOpenCom.Click();
        QCOMPARE(portState(w), QByteArray(kPortOpen));
        QCOMPARE(p.mscomm.settings(), QByteArray("9600,n,8,1"));
        QCOMPARE(w.focus(), &w.tbSendData);

        deviceWrites("VER 3.1\r\n");
        QTRY_VERIFY((w.TMRComm_Timer(), w.tbReceiveData.Text() == "VER 3.1\r\n"));
        w.tbSendData.setText("VER");
        w.Command6.Click();
        QByteArray received;
        QTRY_COMPARE(received += deviceReads(), QByteArray("VER\r\n"));

        w.BTNOpenCom.Click();
        QCOMPARE(portState(w), QByteArray(kPortClosed));
        // The device is free again.
        w.BTNOpenCom.Click();
        QCOMPARE(portState(w), QByteArray(kPortOpen));
        QVERIFY(p.boxes.boxes.isEmpty());
    }

    void cannotOpen()
    {
        RealPort p;
        qputenv("VANTREL_COM3", "/nonexistent/ttyVANTREL");
        p.udp.BTNOpenCom.Click();
        QCOMPARE(p.boxes.boxes.size(), 1);
        QCOMPARE(p.boxes.boxes[0].title, QStringLiteral("Error#8002"));
        QVERIFY2(p.boxes.boxes[0].text.contains("/nonexistent/ttyVANTREL"), qPrintable(p.boxes.boxes[0].text));
        QCOMPARE(portState(p.udp), QByteArray(kPortClosed));
    }

    void udpBound()
    {
        RealPort p;
        UDP &w = p.udp;
        w.Form_Load();
        w.ComboRemoteIP.setText("127.0.0.1");
        w.cbBind_Click();
        QCOMPARE(w.Winsock1.state(), qint16(1));
        w.tbSendData.setText("typed");
        w.BTNOpenCom.Click();
        QCOMPARE(w.tbSendData.Text(), QByteArray());
        QCOMPARE(portState(w), QByteArray(kPortClosed));
        QVERIFY(p.boxes.boxes.isEmpty());
    }

    void unplugged()
    {
        RealPort p;
        UDP &w = p.udp;
        w.Form_Load();
        w.BTNOpenCom.Click();
        QCOMPARE(portState(w), QByteArray(kPortOpen));
        QByteArray stateInBox;
        p.boxes.whileOpen = [&] {
            stateInBox = portState(w);
            w.TMRComm_Timer(); // the box's event loop goes on ticking
        };
        // The device's last words have reached the port, not yet the terminal; then it is gone.
        deviceWrites("bye\r\n");
        QTRY_COMPARE(w.MSComm1.inBufferCount(), qint16(5));
        const QString device = QFileInfo(m_device).canonicalFilePath();
        unplug();
        QTRY_VERIFY(p.mscomm.lostDeviceErrors() > 0);
        for (int tick = 0; tick < 3; ++tick)
            w.TMRComm_Timer();
        QCOMPARE(w.tbReceiveData.Text(), QByteArray("bye\r\n"));
        QVERIFY(p.file(QStringLiteral("Terminal.log")).endsWith("bye\r\n"));
        QCOMPARE(p.boxes.boxes.size(), 1);
        QCOMPARE(p.boxes.boxes[0].title, QStringLiteral("Error#8020"));
        QCOMPARE(p.boxes.boxes[0].text, "Device disconnected: " + device);
        QCOMPARE(stateInBox, QByteArray(kPortClosed));
        QCOMPARE(portState(w), QByteArray(kPortClosed));

        // Plugged in again, maybe as another device.
        p.boxes.whileOpen = nullptr;
        QVERIFY(plugIn());
        w.BTNOpenCom.Click();
        QCOMPARE(portState(w), QByteArray(kPortOpen));
        deviceWrites("hi");
        QTRY_VERIFY((w.TMRComm_Timer(), w.tbReceiveData.Text() == "bye\r\nhi"));
        QCOMPARE(p.boxes.boxes.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
