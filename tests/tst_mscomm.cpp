// SPDX-License-Identifier: MIT
#include "app/failure.h"
#include "platform/qt/qtmscomm.h"

#include <QFileInfo>
#include <QTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace
{

constexpr qint16 kPort = 9;
constexpr char kPortVariable[] = "VANTREL_COM9";

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

QByteArray allBytes()
{
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    return all;
}

bool makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

} // namespace

/// Each test gets a fresh pseudo-terminal: the port opens its slave side, the test plays the device on the master.
class TestMSComm : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void allBytesBothWays();
    void opensAtEachSpeed_data();
    void opensAtEachSpeed();
    void rejectsBadSettings_data();
    void rejectsBadSettings();
    void resolvesPorts();
    void openFailsOnMissingOrBusyPort();
    void survivesDeviceGone();

private:
    /// Everything the port has sent to the device so far.
    QByteArray fromPort();
    void toPort(const QByteArray &bytes) { QCOMPARE(::write(m_master, bytes.constData(), bytes.size()), bytes.size()); }

    int m_master = -1;
    int m_slave = -1;
    QByteArray m_received;
};

void TestMSComm::init()
{
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        QSKIP(qPrintable(QStringLiteral("openpty failed: %1").arg(QString::fromLocal8Bit(strerror(errno)))));
    QVERIFY(makeRaw(m_master));
    QVERIFY(makeRaw(m_slave));
    QVERIFY(fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK) == 0);
    qputenv(kPortVariable, name);
    m_received.clear();
}

void TestMSComm::cleanup()
{
    qunsetenv(kPortVariable);
    for (int *fd : {&m_master, &m_slave})
        if (*fd >= 0)
            ::close(std::exchange(*fd, -1));
}

QByteArray TestMSComm::fromPort()
{
    char buffer[512];
    ssize_t n;
    while ((n = ::read(m_master, buffer, sizeof buffer)) > 0)
        m_received.append(buffer, n);
    return m_received;
}

void TestMSComm::allBytesBothWays()
{
    QtMSComm comm;
    comm.setCommPort(kPort);
    comm.setPortOpen(true);
    QVERIFY(comm.portOpen());
    QCOMPARE(comm.inBufferCount(), qint16(0));
    QCOMPARE(comm.input(), QByteArray());

    comm.output(allBytes());
    QTRY_COMPARE(fromPort(), allBytes());

    toPort(allBytes());
    QTRY_COMPARE(comm.inBufferCount(), qint16(256));
    QCOMPARE(comm.input(), allBytes());
    QCOMPARE(comm.inBufferCount(), qint16(0));
    QCOMPARE(comm.input(), QByteArray());

    comm.setPortOpen(false);
    QVERIFY(!comm.portOpen());
    QCOMPARE(failureOf([&] { comm.output("X"); }).number(), int(Err::PortNotOpen));
}

void TestMSComm::opensAtEachSpeed_data()
{
    QTest::addColumn<QByteArray>("settings");
    for (const char *s : {"1200,n,8,1", "2400,n,8,1", "4800,n,8,1", "9600,n,8,1", "19200,n,8,1", "115200,n,8,1"})
        QTest::newRow(s) << QByteArray(s);
}

void TestMSComm::opensAtEachSpeed()
{
    QFETCH(QByteArray, settings);
    QtMSComm comm;
    comm.setCommPort(kPort);
    comm.setSettings(settings);
    QCOMPARE(comm.settings(), settings);
    comm.setPortOpen(true);
    comm.output("UART 2,7\r\n");
    QTRY_COMPARE(fromPort(), QByteArray("UART 2,7\r\n"));
    comm.setPortOpen(false);
}

void TestMSComm::rejectsBadSettings_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("words") << QByteArray("fast");
    QTest::newRow("three fields") << QByteArray("9600,n,8");
    QTest::newRow("speed") << QByteArray("x,n,8,1");
    QTest::newRow("parity") << QByteArray("9600,x,8,1");
    QTest::newRow("data bits") << QByteArray("9600,n,9,1");
    QTest::newRow("stop bits") << QByteArray("9600,n,8,3");
}

void TestMSComm::rejectsBadSettings()
{
    QFETCH(QByteArray, settings);
    QtMSComm comm;
    QCOMPARE(failureOf([&] { comm.setSettings(settings); }).number(), int(Err::InvalidSettings));
    QCOMPARE(comm.settings(), QByteArray("115200,n,8,1"));
}

void TestMSComm::resolvesPorts()
{
    QtMSComm comm;
    QCOMPARE(comm.deviceName(kPort), QString::fromLocal8Bit(qgetenv(kPortVariable)));
    QCOMPARE(failureOf([&] { comm.setCommPort(0); }).number(), int(Err::InvalidPortNumber));
    QCOMPARE(comm.commPort(), qint16(1));
#ifdef Q_OS_LINUX
    if (QFileInfo::exists("/dev/ttyUSB39") || QFileInfo::exists("/dev/ttyACM39"))
        QSKIP("This host has a USB serial port 40");
    QCOMPARE(comm.deviceName(40), QStringLiteral("/dev/ttyS39"));
#endif
}

void TestMSComm::openFailsOnMissingOrBusyPort()
{
    QtMSComm first;
    QtMSComm second;
    first.setCommPort(kPort);
    second.setCommPort(kPort);
    first.setPortOpen(true);
    QCOMPARE(failureOf([&] { second.setPortOpen(true); }).number(), int(Err::PortAlreadyOpen));
    QCOMPARE(failureOf([&] { first.setPortOpen(true); }).number(), int(Err::PortAlreadyOpen));
    QVERIFY(!second.portOpen());
    first.output("still mine");
    QTRY_COMPARE(fromPort(), QByteArray("still mine"));

    first.setPortOpen(false);
    second.setPortOpen(true);
    QVERIFY(second.portOpen());
    second.setPortOpen(false);

    qputenv("VANTREL_COM8", "/nonexistent/ttyVANTREL");
    second.setCommPort(8);
    QCOMPARE(failureOf([&] { second.setPortOpen(true); }).number(), int(Err::InvalidPortNumber));
    QVERIFY(!second.portOpen());
    qunsetenv("VANTREL_COM8");
}

void TestMSComm::survivesDeviceGone()
{
    QtMSComm comm;
    comm.setCommPort(kPort);
    comm.setPortOpen(true);
    ::close(std::exchange(m_master, -1));

    QTRY_VERIFY(comm.lostDeviceErrors() > 0);
    // A port left open on a vanished device reports the error on every pass of the event loop.
    QTest::qWait(300);
    QVERIFY2(comm.lostDeviceErrors() < 100, qPrintable(QString::number(comm.lostDeviceErrors())));

    QVERIFY(comm.portOpen());
    for (const Failure &f : {failureOf([&] { comm.input(); }), failureOf([&] { comm.inBufferCount(); }),
                             failureOf([&] { comm.output("VER\r\n"); })}) {
        QCOMPARE(f.number(), int(Err::DeviceDisconnected));
        QVERIFY2(f.description().contains("disconnected"), qPrintable(f.description()));
    }
    comm.setPortOpen(false);
    QVERIFY(!comm.portOpen());
}

QTEST_GUILESS_MAIN(TestMSComm)
#include "tst_mscomm.moc"
