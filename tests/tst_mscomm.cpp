// SPDX-License-Identifier: MIT
#include "platform/failure.h"
#include "platform/qt/qtmscomm.h"

#include <QFileInfo>
#include <QTest>

#include <numeric>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace
{
/// The failure a call throws; number 0 when it does not fail.
template <typename F> Failure failureOf(F call)
{
    try {
        call();
    } catch (const Failure &f) {
        return f;
    }
    return Failure(Err(0), QString());
}
} // namespace

/// Each test gets a fresh pseudo-terminal as port 1: the port opens its slave side, the test plays the device on the
/// master. Neither side is made raw here, so the port itself must set up a transparent line.
class TestMSComm : public QObject
{
    Q_OBJECT
    int m_master = -1;
    int m_slave = -1;

private slots:
    void init()
    {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            QSKIP(qPrintable(QStringLiteral("openpty failed: %1").arg(QString::fromLocal8Bit(strerror(errno)))));
        QVERIFY(fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK) == 0);
        qputenv("VANTREL_COM1", name);
    }
    void cleanup()
    {
        qunsetenv("VANTREL_COM1");
        qunsetenv("VANTREL_COM9");
        ::close(std::exchange(m_master, -1));
        ::close(std::exchange(m_slave, -1));
    }

    void allBytesBothWaysOneOpener()
    {
        QByteArray all(256, 0), received;
        std::iota(all.begin(), all.end(), char(0));
        QtMSComm comm;
        QtMSComm second;
        comm.setPortOpen(true);
        comm.output(all);
        char buffer[512]; // the device reads what has arrived so far, without waiting
        QTRY_COMPARE(received += QByteArray(buffer, qMax<ssize_t>(::read(m_master, buffer, sizeof buffer), 0)), all);
        QCOMPARE(::write(m_master, all.constData(), all.size()), all.size());
        QTRY_COMPARE(comm.inBufferCount(), qint16(256));
        QCOMPARE(comm.input(), all);
        QCOMPARE(comm.inBufferCount(), qint16(0));

        // The device is the terminal's alone: a second open fails, even on the same object.
        QCOMPARE(failureOf([&] { second.setPortOpen(true); }).number(), int(Err::PortAlreadyOpen));
        QCOMPARE(failureOf([&] { comm.setPortOpen(true); }).number(), int(Err::PortAlreadyOpen));
        comm.setPortOpen(false);
        QCOMPARE(failureOf([&] { comm.output("X"); }).number(), int(Err::PortNotOpen));
        second.setPortOpen(true);
        QVERIFY(second.portOpen());
    }

    void settings_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("valid");
        for (const char *text : {"1200,n,8,1", "2400,n,8,1", "4800,n,8,1", "9600,n,8,1", "19200,n,8,1", "115200,n,8,1"})
            QTest::addRow("%s", text) << QByteArray(text) << true;
        for (const char *text : {"", "9600,n,8", "x,n,8,1", "9600,x,8,1", "9600,n,9,1", "9600,n,8,3"})
            QTest::addRow("bad '%s'", text) << QByteArray(text) << false;
    }
    void settings()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, valid);
        QtMSComm comm;
        QCOMPARE(failureOf([&] { comm.setSettings(settings), comm.setPortOpen(true); }).number(),
                 valid ? 0 : int(Err::InvalidSettings));
        QCOMPARE(comm.portOpen(), valid);
    }

    void resolvesPorts()
    {
        QtMSComm comm;
        QCOMPARE(comm.deviceName(1), QString::fromLocal8Bit(qgetenv("VANTREL_COM1")));
        QCOMPARE(failureOf([&] { comm.setCommPort(0); }).number(), int(Err::InvalidPortNumber));
        qputenv("VANTREL_COM9", "/nonexistent/ttyVANTREL");
        QCOMPARE(failureOf([&] { comm.setCommPort(9), comm.setPortOpen(true); }).number(), int(Err::InvalidPortNumber));
#ifdef Q_OS_LINUX
        if (QFileInfo::exists("/dev/ttyUSB39") || QFileInfo::exists("/dev/ttyACM39"))
            QSKIP("This host has a USB serial port 40");
        QCOMPARE(comm.deviceName(40), QStringLiteral("/dev/ttyS39"));
#endif
    }

    void survivesDeviceGone()
    {
        QtMSComm comm;
        comm.setPortOpen(true);
        QCOMPARE(::write(m_master, "bye", 3), 3);
        QTRY_COMPARE(comm.inBufferCount(), qint16(3));
        ::close(std::exchange(m_master, -1));
        QTRY_VERIFY(comm.lostDeviceErrors() > 0);
        // The device's last words are still handed out before the loss is reported.
        QCOMPARE(comm.inBufferCount(), qint16(3));
        QCOMPARE(comm.input(), QByteArray("bye"));
        // A port left open on a vanished device reports the error on every pass of the event loop.
        QTest::qWait(300);
        QVERIFY2(comm.lostDeviceErrors() < 100, qPrintable(QString::number(comm.lostDeviceErrors())));

        QVERIFY(comm.portOpen());
        const Failure f = failureOf([&] { comm.input(); });
        QCOMPARE(f.number(), int(Err::DeviceDisconnected));
        QVERIFY2(f.description().contains("disconnected"), qPrintable(f.description()));
        comm.setPortOpen(false);
        QVERIFY(!comm.portOpen());
    }
};

QTEST_GUILESS_MAIN(TestMSComm)
#include "tst_mscomm.moc"
