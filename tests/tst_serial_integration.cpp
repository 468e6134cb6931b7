// SPDX-License-Identifier: MIT
#include "harness.h"
#include "platform/qt/qtmscomm.h"
#include "ptydevicesim.h"
#include "serial/modbus.h"
#include "serialport.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

namespace
{

/// The window model on the real serial port, whose port 3 (the port box's "COM3") is the simulated device on
/// a pseudo-terminal, running on the same thread. The other components are fakes.
struct SerialLink : WorkDir {
    explicit SerialLink(PtyDeviceSim::Options options = {}) : sim(std::move(options)) {}
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

    PtyDeviceSim sim;
    FakeWinsock winsock;
    QtMSComm mscomm;
    FakeDialog dialog;
    FakeMessageBox boxes;
    FakeSystem system;
    UDP udp{Platform{winsock, mscomm, dialog, boxes, system}};
    QString error;
    qsizetype logStart = 0;
};

/// Runs the poll as the window does: every 20 ms while TMRComm is enabled, a full interval after each restart.
class Poll : public ElementObserver
{
public:
    explicit Poll(UDP &w) : m_w(w)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(w.TMRComm.Interval());
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { m_w.TMRComm_Timer(); });
        m_w.setObserver(this);
        if (w.TMRComm.Enabled())
            m_timer.start();
    }
    ~Poll() override { m_w.setObserver(nullptr); }
    void changed(Element &element, Prop prop) override
    {
        if (&element == &m_w.TMRComm && prop == Prop::Enabled)
            element.Enabled() ? m_timer.start() : m_timer.stop();
    }
    void appended(TextBox &, const QByteArray &) override {}

    /// Turns the event loop (device and poll) until `done` holds; false after `timeoutMs`.
    static bool until(const std::function<bool()> &done, int timeoutMs = 30000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return true;
    }

private:
    UDP &m_w;
    QTimer m_timer;
};

/// What the device sends for these reply lines: as they are, or each in frames to station 16 of at most
/// 255 bytes.
QByteArray deviceWire(const QByteArrayList &lines, bool rtu)
{
    QByteArray wire;
    for (const QByteArray &line : lines)
        for (qsizetype at = 0; at < line.size(); at += 255)
            wire += rtu ? Modbus::frame(16, Modbus::kConsoleFunction, line.mid(at, 255)) : line.mid(at, 255);
    return wire;
}

/// Puts the terminal's serial link in plain text (false) or RTU framing to station 16 (true).
void setFraming(UDP &w, bool rtu)
{
    w.Check1.setValue(qint16(rtu));
    w.Check3.setValue(0);
    w.Text3.setText("16");
}

} // namespace

class TestSerialIntegration : public QObject
{
    Q_OBJECT
private slots:
    void verInEachForm_data();
    void verInEachForm();
    void deviceGone();
    void programRoundTrip_data();
    void programRoundTrip();
    void downloadRejected_data();
    void downloadRejected();
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

void TestSerialIntegration::programRoundTrip_data()
{
    QTest::addColumn<bool>("rtuDown");
    QTest::addColumn<bool>("rtuList");
    QTest::addColumn<QByteArrayList>("program");
    // Each line as the device lists it (number, blank, statement) and ends it (CR LF): the listing gives the
    // file back.
    QByteArrayList lines;
    for (int n = 10; n <= 3000; n += 10)
        lines << QByteArray::number(n) + " PRINT \"LINE " + QByteArray::number(n) + "\";" + QByteArray::number(n % 7) +
                     "\r\n";
    QTest::newRow("plain text") << false << false << lines;
    QTest::newRow("RTU frames") << true << true << lines;
    // A listed line longer than a frame comes in two; the second starts with "OK" but is not the end.
    const QByteArray head = "20 REM ";
    const QByteArray longLine = head + QByteArray(255 - head.size(), 'x') + "OK" + QByteArray(100, 'y') + "\r\n";
    QTest::newRow("RTU listing, a line over two frames") << false << true << QByteArrayList{lines[0], longLine};
}

void TestSerialIntegration::programRoundTrip()
{
    QFETCH(bool, rtuDown);
    QFETCH(bool, rtuList);
    QFETCH(QByteArrayList, program);
    SerialLink link({.console = {.newDelayMs = 10}});
    if (!link.open())
        QSKIP(qPrintable("no pseudo-terminal: " + link.error));
    UDP &w = link.udp;
    Poll poll(w);
    const QByteArray source = program.join();
    QVERIFY(link.writeFile(QStringLiteral("prog.bas"), source));

    setFraming(w, rtuDown);
    link.dialog.answer = QStringLiteral("prog.bas");
    w.Command10_Click();
    QCOMPARE(w.ProgDownloadMode, qint16(1));
    // The device's OK to the last line arrives after completion, as console text.
    QVERIFY(Poll::until([&] { return w.tbReceiveData.Text() == "SEND BASIC PROGRAM COMPLETED\r\nOK\r\n"; }));

    setFraming(w, rtuList);
    link.dialog.answer = QStringLiteral("back.bas");
    w.Command11_Click();
    QVERIFY(Poll::until([&] { return w.ProgSaveMode == 0; }));
    QCOMPARE(w.tbReceiveData.Text(), QByteArray("LOAD BASIC PROGRAM COMPLETED\r\n"));
    QCOMPARE(link.file(QStringLiteral("back.bas")), source);

    w.Command12_Click();
    QVERIFY(Poll::until([&] { return w.tbReceiveData.Text() == "LOAD BASIC PROGRAM COMPLETED\r\nOK\r\n"; }));
    link.dialog.answer = QStringLiteral("empty.bas");
    w.Command11_Click();
    QVERIFY(Poll::until([&] { return w.ProgSaveMode == 0; }));
    QVERIFY(QFile::exists(QStringLiteral("empty.bas")));
    QCOMPARE(link.file(QStringLiteral("empty.bas")), QByteArray());
    QVERIFY(link.boxes.boxes.isEmpty());
    // Program lines and commands are not logged; what the device sent is, raw.
    // The end of each listing and NEW are answered with OK as well.
    const QByteArray ok = "OK\r\n";
    QCOMPARE(link.logAfterOpen(), deviceWire(QByteArrayList(program.size(), ok), rtuDown) +
                                      deviceWire(program + QByteArrayList{ok, ok, ok}, rtuList));
}

void TestSerialIntegration::downloadRejected_data()
{
    QTest::addColumn<bool>("rtu");
    QTest::newRow("plain text") << false;
    QTest::newRow("RTU frames") << true;
}

void TestSerialIntegration::downloadRejected()
{
    QFETCH(bool, rtu);
    SerialLink link({.console = {.errorLine = 30}});
    if (!link.open())
        QSKIP(qPrintable("no pseudo-terminal: " + link.error));
    UDP &w = link.udp;
    Poll poll(w);
    QVERIFY(link.writeFile(QStringLiteral("prog.bas"), "10 A=1\r\n20 B=2\r\n30 GOTO 99\r\n40 END\r\n"));
    setFraming(w, rtu);
    link.dialog.answer = QStringLiteral("prog.bas");
    w.Command10_Click();
    QVERIFY(Poll::until([&] { return w.ProgDownloadMode == 0; }));
    QCOMPARE(w.tbReceiveData.Text(), QByteArray("LOAD DATA = 30 GOTO 99Error - see  source file \r\n"));
    // Line 40 never went out: the device has the two lines before the rejected one.
    setFraming(w, false);
    link.dialog.answer = QStringLiteral("back.bas");
    w.Command11_Click();
    QVERIFY(Poll::until([&] { return w.ProgSaveMode == 0; }));
    QCOMPARE(link.file(QStringLiteral("back.bas")), QByteArray("10 A=1\r\n20 B=2\r\n"));
}

QTEST_GUILESS_MAIN(TestSerialIntegration)
#include "tst_serial_integration.moc"
