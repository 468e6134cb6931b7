// SPDX-License-Identifier: MIT
#include "app/failure.h"
#include "platform/qt/qtmscomm.h"

#include <QFileInfo>
#include <QTest>

#include <numeric>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace
{

constexpr qint16 kPort = 9;

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

void openPort(QtMSComm &comm)
{
    comm.setCommPort(kPort);
    comm.setPortOpen(true);
}

} // namespace

/// Each test gets a fresh pseudo-terminal: the port opens its slave side, the test plays the device on the master.
/// Neither side is made raw here, so the port itself must set up a transparent line.
class TestMSComm : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            QSKIP(qPrintable(QStringLiteral("openpty failed: %1").arg(QString::fromLocal8Bit(strerror(errno)))));
        QVERIFY(fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK) == 0);
        qputenv("VANTREL_COM9", name);
        m_received.clear();
    }
    void cleanup()
    {
        qunsetenv("VANTREL_COM9");
        ::close(std::exchange(m_master, -1));
        ::close(std::exchange(m_slave, -1));
    }

    void allBytesBothWays()
    {
        QByteArray all(256, 0);
        std::iota(all.begin(), all.end(), char(0));
        QtMSComm comm;
        openPort(comm);
        comm.output(all);
        QTRY_COMPARE(fromPort(), all);

        QCOMPARE(::write(m_master, all.constData(), all.size()), all.size());
        QTRY_COMPARE(comm.inBufferCount(), qint16(256));
        QCOMPARE(comm.input(), all);
        QCOMPARE(comm.inBufferCount(), qint16(0));

        comm.setPortOpen(false);
        QCOMPARE(failureOf([&] { comm.output("X"); }).number(), int(Err::PortNotOpen));
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
        const int failure = valid ? 0 : int(Err::InvalidSettings);
        QCOMPARE(failureOf([&] { comm.setSettings(settings), openPort(comm); }).number(), failure);
        QCOMPARE(comm.portOpen(), valid);
        if (valid) {
            comm.output("UART 2,7\r\n");
            QTRY_COMPARE(fromPort(), QByteArray("UART 2,7\r\n"));
        }
    }

    void resolvesPorts()
    {
        QtMSComm comm;
        QCOMPARE(comm.deviceName(kPort), QString::fromLocal8Bit(qgetenv("VANTREL_COM9")));
        QCOMPARE(failureOf([&] { comm.setCommPort(0); }).number(), int(Err::InvalidPortNumber));
        qputenv("VANTREL_COM9", "/nonexistent/ttyVANTREL");
        QCOMPARE(failureOf([&] { openPort(comm); }).number(), int(Err::InvalidPortNumber));
#ifdef Q_OS_LINUX
        if (QFileInfo::exists("/dev/ttyUSB39") || QFileInfo::exists("/dev/ttyACM39"))
            QSKIP("This host has a USB serial port 40");
        QCOMPARE(comm.deviceName(40), QStringLiteral("/dev/ttyS39"));
#endif
    }

    void secondOpenFails()
    {
        QtMSComm first;
        QtMSComm second;
        openPort(first);
        QCOMPARE(failureOf([&] { openPort(second); }).number(), int(Err::PortAlreadyOpen));
        QCOMPARE(failureOf([&] { first.setPortOpen(true); }).number(), int(Err::PortAlreadyOpen));
        first.setPortOpen(false);
        second.setPortOpen(true);
        QVERIFY(second.portOpen());
    }

    void survivesDeviceGone()
    {
        QtMSComm comm;
        openPort(comm);
        ::close(std::exchange(m_master, -1));
        QTRY_VERIFY(comm.lostDeviceErrors() > 0);
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

private:
    /// Everything the port has sent to the device so far.
    QByteArray fromPort()
    {
        char buffer[512];
        for (ssize_t n; (n = ::read(m_master, buffer, sizeof buffer)) > 0;)
            m_received.append(buffer, n);
        return m_received;
    }

    int m_master = -1;
    int m_slave = -1;
    QByteArray m_received;
};

QTEST_GUILESS_MAIN(TestMSComm)
#include "tst_mscomm.moc"
