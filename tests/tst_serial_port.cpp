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
        qunsetenv("VANTREL_COM12");
        unplug();
    }

    void open_data()
    {
        QTest::addColumn<QByteArray>("portBox");
        QTest::addColumn<QByteArray>("device"); // behind port 3, or 12; "pty" for the pseudo-terminal
        QTest::addColumn<int>("option");
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("linked");
        const QString none;
        QTest::newRow("COM3 at 9600") << QByteArray("COM3") << QByteArray("pty") << 4 << QByteArray("9600,n,8,1")
                                      << none << false;
        QTest::newRow("COM12 at 1200") << QByteArray("COM12") << QByteArray("pty") << 1 << QByteArray("1200,n,8,1")
                                       << none << false;
        QTest::newRow("no number") << QByteArray("COM") << QByteArray("pty") << 6 << QByteArray("115200,n,8,1")
                                   << "Error#13" << false;
        QTest::newRow("not a number") << QByteArray("COMx") << QByteArray("pty") << 5 << QByteArray("19200,n,8,1")
                                      << "Error#13" << false;
        QTest::newRow("no such device") << QByteArray("COM3") << QByteArray("/nonexistent/ttyVANTREL") << 6
                                        << QByteArray("115200,n,8,1") << "Error#8002" << false;
        // The UDP link is the active transport: only the command line is emptied.
        QTest::newRow("UDP link up") << QByteArray("COM3") << QByteArray("pty") << 6 << QByteArray("115200,n,8,1")
                                     << none << true;
    }
    void open()
    {
        QFETCH(QByteArray, portBox);
        QFETCH(QByteArray, device);
        QFETCH(int, option);
        QFETCH(QByteArray, settings);
        QFETCH(QString, box);
        QFETCH(bool, linked);
        qputenv(portBox == "COM12" ? "VANTREL_COM12" : "VANTREL_COM3",
                device == "pty" ? m_device.toLocal8Bit() : device);
        RealPort p;
        UDP &w = p.udp;
        w.Form_Load();
        if (linked) {
            w.ComboRemoteIP.setText("127.0.0.1");
            w.cbBind_Click();
        }
        OptionButton *options[] = {&w.Option1, &w.Option2, &w.Option3, &w.Option4, &w.Option5, &w.Option6};
        options[option - 1]->setValue(1);
        w.Comm_number.setText(portBox);
        w.tbSendData.setText("typed");
        w.Comm_number.SetFocus();
        w.BTNOpenCom.Click();
        QCOMPARE(w.tbSendData.Text(), QByteArray());
        QCOMPARE(p.boxes.boxes.size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty()) {
            QCOMPARE(p.boxes.boxes[0].title, box);
            QVERIFY2(!device.startsWith('/') || p.boxes.boxes[0].text.contains(device), qPrintable(box));
        }
        const bool opens = box.isEmpty() && !linked;
        QCOMPARE(portState(w), QByteArray(opens ? kPortOpen : kPortClosed));
        QCOMPARE(w.focus(), opens ? &w.tbSendData : static_cast<Element *>(&w.Comm_number));
        if (!opens)
            return;
        QCOMPARE(p.mscomm.settings(), settings);

        deviceWrites("VER 3.1\r\n");
        QTRY_VERIFY((w.TMRComm_Timer(), w.tbReceiveData.Text() == "VER 3.1\r\n"));
        w.tbSendData.setText("VER");
        w.Command6.Click();
        QByteArray received;
        QTRY_COMPARE(received += deviceReads(), QByteArray("VER\r\n"));

        w.Pic.setFillColor(Colour::White);
        w.Comm_number.SetFocus();
        w.BTNOpenCom.Click();
        QCOMPARE(portState(w), QByteArray(kPortClosed));
        QCOMPARE(w.focus(), static_cast<Element *>(&w.Comm_number));
        QCOMPARE(options[option - 1]->Value(), qint16(1));
        // The device is free again; the indicator comes back as it was left.
        w.BTNOpenCom.Click();
        QCOMPARE(portState(w), QByteArray(kPortOpen));
        QCOMPARE(w.Pic.FillColor(), Colour::White);
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
