// SPDX-License-Identifier: MIT
// Owns the real serial port: its settings, which device port N is, one opener, Open and Close, a vanished device,
// and one that comes back.
#include "harness.h"
#include "platform/qt/qtmscomm.h"
#include "pseudoterminal.h"
#include "ptydevicesim.h"
#include "serialport.h"

#include <QFileInfo>
#include <QTest>

#include <numeric>
#include <optional>

/// Open clicked with the port box and a speed option as given, port 3 or 12 being `device` ("pty" for the
/// pseudo-terminal); how the box expected, if any, starts, and the settings of an open port.
struct Open {
    QByteArray portBox, device;
    int option;
    QByteArray settings{};
    QString box{};
    bool linked = false;
};
Q_DECLARE_METATYPE(Open)

/// Ports 1 and 3 (the port box's "COM3") are a fresh pseudo-terminal in each test; the test plays the device on its
/// master side. The tests that need no device run where none can be made.
class TestSerialPort : public QObject
{
    Q_OBJECT
    std::optional<Pty> m_pty;

    void plugIn()
    {
        m_pty.emplace();
        qputenv("VANTREL_COM1", m_pty->path);
        qputenv("VANTREL_COM3", m_pty->path);
    }
    QString noPty() const { return QStringLiteral("openpty failed: ") + m_pty->error; }

private slots:
    void init() { plugIn(); }
    void cleanup()
    {
        for (const char *name : {"VANTREL_COM1", "VANTREL_COM3", "VANTREL_COM12"})
            qunsetenv(name);
        m_pty.reset();
    }

    void deviceNames_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("device");
        QTest::newRow("named by VANTREL_COM12") << 12 << QStringLiteral("/dev/ttyVANTREL");
#if defined(Q_OS_WIN)
        QTest::newRow("COMn is port n's own name") << 40 << QStringLiteral("COM40");
#elif defined(Q_OS_LINUX)
        if (!QFileInfo::exists("/dev/ttyUSB39") && !QFileInfo::exists("/dev/ttyACM39"))
            QTest::newRow("no USB or ACM device 39: the UART") << 40 << QStringLiteral("/dev/ttyS39");
#endif
    }
    void deviceNames()
    {
        QFETCH(int, port);
        QFETCH(QString, device);
        qputenv("VANTREL_COM12", "/dev/ttyVANTREL");
        QCOMPARE(QtMSComm().deviceName(qint16(port)), device);
    }

    void devicesAndBytes()
    {
        if (m_pty->master < 0)
            QSKIP(qPrintable(noPty()));
        QtMSComm comm, second;
        QCOMPARE(comm.deviceName(3), QString::fromLocal8Bit(m_pty->path));
        QCOMPARE(failureOf([&] { comm.setCommPort(0); }), int(Err::InvalidPortNumber));
        // Every byte both ways through port 1.
        QByteArray all(256, 0), received;
        std::iota(all.begin(), all.end(), char(0));
        comm.setPortOpen(true);
        comm.output(all);
        QTRY_COMPARE_WITH_TIMEOUT(received += m_pty->read(), all, kPatienceMs);
        QVERIFY(m_pty->write(all));
        QTRY_COMPARE_WITH_TIMEOUT(comm.inBufferCount(), qint16(256), kPatienceMs);
        QCOMPARE(comm.input(), all);
        QCOMPARE(comm.inBufferCount(), qint16(0));
        // The device is the terminal's alone: a second open fails, even on the same object.
        QCOMPARE(failureOf([&] { second.setPortOpen(true); }), int(Err::PortAlreadyOpen));
        QCOMPARE(failureOf([&] { comm.setPortOpen(true); }), int(Err::PortAlreadyOpen));
        comm.setPortOpen(false);
        QCOMPARE(failureOf([&] { comm.output("X"); }), int(Err::PortNotOpen));
        // The ports present are listed with the number that reaches each: COM1 is the device VANTREL_COM1 names, and
        // no other. Pseudo-terminals are not listed, so a device of this host's own stands in.
        const QList<SerialPortInfo> present = comm.presentPorts();
        if (present.isEmpty())
            QSKIP("This host lists no serial port, so none can be given a number");
        QVERIFY(present[0].number != 1);
        qputenv("VANTREL_COM1", QFile::encodeName(present[0].device));
        const SerialPortInfo named = comm.presentPorts().value(0);
        QCOMPARE(std::pair(named.device, named.number), std::pair(present[0].device, qint16(1)));
    }

    void portsPresent()
    {
        // Each port this host lists comes with the number that reaches it, if any does; on Windows every port is
        // COMn and n reaches it.
        QtMSComm comm;
        const QList<SerialPortInfo> present = comm.presentPorts();
        if (present.isEmpty())
            QSKIP("This host lists no serial port, so none can be given a number");
        for (const SerialPortInfo &port : present) {
#if defined(Q_OS_WIN)
            QCOMPARE(port.device, QStringLiteral("COM%1").arg(port.number));
#endif
            if (port.number > 0)
                QCOMPARE(comm.deviceName(port.number), port.device);
        }
    }

    void settings_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("valid");
        // Any speed, parity, 5 to 8 data bits and 1, 1.5 or 2 stop bits; whether the line can take them is the
        // port's to say when it opens.
        for (const char *text : {"115200,n,8,1", "1,e,5,2", "300,o,7,1.5", "2400,m,6,1", " 9600 , S , 8 , 1 "})
            QTest::addRow("%s", text) << QByteArray(text) << true;
        for (const char *text :
             {"", "9600,n,8", "x,n,8,1", "0,n,8,1", "9600,x,8,1", "9600,n,4,1", "9600,n,9,1", "9600,n,8,3"})
            QTest::addRow("bad '%s'", text) << QByteArray(text) << false;
    }
    void settings()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, valid);
        QtMSComm comm;
        QCOMPARE(failureOf([&] { comm.setSettings(settings); }), valid ? 0 : int(Err::InvalidSettings));
        QCOMPARE(comm.settings(), valid ? settings : QByteArray("115200,n,8,1")); // a refused text changes nothing
    }

    void open_data()
    {
        QTest::addColumn<Open>("c");
        QTest::newRow("COM3 at 9600") << Open{"COM3", "pty", 4, "9600,n,8,1"};
        QTest::newRow("COM12 at 1200") << Open{"COM12", "pty", 1, "1200,n,8,1"};
        // The port box is judged before any device is looked for.
        QTest::newRow("no number") << Open{"COM", {}, 6, {}, "Error#13: Type mismatch"};
        QTest::newRow("not a number") << Open{"COMx", {}, 5, {}, "Error#13: Type mismatch"};
        QTest::newRow("no such device") << Open{
            "COM3", "/nonexistent/ttyVANTREL", 6, {}, "Error#8002: /nonexistent/ttyVANTREL"};
        // The UDP link is the active transport: only the command line is emptied.
        QTest::newRow("UDP link up") << Open{"COM3", "pty", 6, {}, {}, true};
    }
    void open()
    {
        QFETCH(Open, c);
        const auto &[portBox, device, option, settings, box, linked] = c;
        if (device == "pty" && m_pty->master < 0)
            QSKIP(qPrintable(noPty()));
        qputenv(portBox == "COM12" ? "VANTREL_COM12" : "VANTREL_COM3", device == "pty" ? m_pty->path : device);
        ModelOn<FakeWinsock, QtMSComm> p; // the window model on the real serial port
        UDP &w = p.udp;
        w.Form_Load();
        if (linked)
            w.cbBind_Click();
        OptionButton *options[] = {&w.Option1, &w.Option2, &w.Option3, &w.Option4, &w.Option5, &w.Option6};
        options[option - 1]->setValue(1);
        w.Comm_number.setText(portBox);
        w.tbSendData.setText("typed");
        w.Comm_number.SetFocus();
        w.BTNOpenCom.Click();
        QCOMPARE(w.tbSendData.Text(), QByteArray());
        QCOMPARE(p.boxes.boxes.size(), box.isEmpty() ? 0 : 1);
        QVERIFY2(p.boxes.lines().join("").startsWith(box), qPrintable(p.boxes.lines().join("")));
        const bool opens = box.isEmpty() && !linked;
        QCOMPARE(portState(w), QByteArray(opens ? kPortOpen : kPortClosed));
        QCOMPARE(w.focus(), opens ? &w.tbSendData : static_cast<Element *>(&w.Comm_number));
        if (!opens)
            return;
        QCOMPARE(p.mscomm.settings(), settings);
        // Traffic through the open port is tst_integration's.
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
        if (m_pty->master < 0)
            QSKIP(qPrintable(noPty()));
        ModelOn<FakeWinsock, QtMSComm> p; // the window model on the real serial port
        UDP &w = p.udp;
        w.Form_Load();
        w.setDeviceWait(0); // not waited for: the port closes and a box says so
        w.BTNOpenCom.Click();
        QByteArray stateInBox;
        p.boxes.whileOpen = [&] {
            stateInBox = portState(w);
            w.TMRComm_Timer(); // the box's event loop goes on ticking
        };
        // The device's last words have reached the port, not yet the terminal; then it is gone.
        QVERIFY(m_pty->write("bye\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(w.MSComm1.inBufferCount(), qint16(5), kPatienceMs);
        const QString device = QFileInfo(QString::fromLocal8Bit(m_pty->path)).canonicalFilePath();
        m_pty->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(p.mscomm.lostDeviceErrors() > 0, kPatienceMs);
        // A port left open on a vanished device must not report the error on every pass of the event loop.
        const int errors = p.mscomm.lostDeviceErrors();
        for (int pass = 0; pass < 100; ++pass)
            QCoreApplication::processEvents();
        QVERIFY2(p.mscomm.lostDeviceErrors() < errors + 50, qPrintable(QString::number(p.mscomm.lostDeviceErrors())));
        for (int tick = 0; tick < 3; ++tick)
            w.TMRComm_Timer();
        QCOMPARE(w.tbReceiveData.Text(), QByteArray("bye\r\n"));
        QCOMPARE(p.boxes.lines(), QStringList{"Error#8020: Device disconnected: " + device});
        QCOMPARE(stateInBox, QByteArray(kPortClosed)); // closed before the box is shown, and so it stays
        // Plugged in again, maybe as another device.
        plugIn();
        w.BTNOpenCom.Click();
        QVERIFY(m_pty->write("hi"));
        QTRY_VERIFY_WITH_TIMEOUT((w.TMRComm_Timer(), w.tbReceiveData.Text() == "bye\r\nhi"), kPatienceMs);
        QCOMPARE(p.boxes.boxes.size(), 1);
    }

    void comesBack()
    {
        // The simulated device on a pseudo-terminal, reached through its --link, which it makes again under the same
        // path when it starts again: a USB adapter pulled out and plugged back.
        ModelOn<FakeWinsock, QtMSComm> p;
        UDP &w = p.udp;
        const QString link = p.dir.filePath(QStringLiteral("ttyDEVICE"));
        PtyDeviceSim device({.baud = 0, .link = link});
        QString error;
        if (!device.start(&error))
            QSKIP(qPrintable("no simulated device: " + error));
        qputenv("VANTREL_COM3", QFile::encodeName(link));
        w.Form_Load();
        w.BTNOpenCom.Click();
        p.markLog();
        const QByteArray exchange = "\r\nVER\r\nVER 3.1 SIM\r\n";
        const auto verAnswered = [&](int times) {
            pressEnter(w, "VER");
            QTRY_VERIFY_WITH_TIMEOUT((w.TMRComm_Timer(), w.tbReceiveData.Text() == exchange.repeated(times)),
                                     kPatienceMs);
        };
        verAnswered(1);
        device.stop();
        QTRY_VERIFY_WITH_TIMEOUT((w.TMRComm_Timer(), w.waitingForDevice()), kPatienceMs);
        QCOMPARE(w.statusLink(), "COM3 gone: waiting for it to come back (" + link + ")");
        w.TMRDevice.Tick(); // nothing at the path yet
        QVERIFY(w.waitingForDevice());
        QVERIFY2(device.start(&error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT((w.TMRDevice.Tick(), !w.waitingForDevice()), kPatienceMs);
        QCOMPARE(portState(w), QByteArray(kPortOpen));
        QCOMPARE(w.statusReason(), link + " came back and is open again");
        verAnswered(2);
        QCOMPARE(p.newLog(), "VER\r\nVER 3.1 SIM\r\nVER\r\nVER 3.1 SIM\r\n");
        QVERIFY(p.boxes.boxes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
