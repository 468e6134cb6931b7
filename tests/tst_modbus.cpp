// SPDX-License-Identifier: MIT
// Modbus framing: CRC16, WriteCOM32's three forms and limits, the two "UART 2,7" buttons, Check2's lock.
#include "harness.h"
#include "serial/modbus.h"
#include "serialport.h"

#include <QTest>

namespace
{
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

/// A WriteCOM32 call with the port open (unless `closed`) and the mode boxes as given.
struct Send {
    qint16 check1 = 0;
    qint16 check3 = 0;
    QByteArray text3{};
    QByteArray line{};
    QByteArray wire{}; // what goes out; for a frame, everything before its CRC
    bool frame = false;
    bool closed = false;
    bool failOutput = false;
};
} // namespace
Q_DECLARE_METATYPE(Send)

class TestModbus : public QObject
{
    Q_OBJECT
private slots:
    void crc_data();
    void crc();
    void writeCom32_data();
    void writeCom32();
    void initPort_data();
    void initPort();
    void check2LocksTheFlashDisk();
};

void TestModbus::crc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("crc"); // as it travels, low byte first
    // The check value of CRC-16/MODBUS in the public CRC catalogue: 4B37.
    QTest::newRow("123456789") << QByteArray("123456789") << hex("374B");
    QTest::newRow("empty") << QByteArray() << hex("FFFF");
    // Requests from the examples published with the Modbus protocol.
    QTest::newRow("read 6B, station 11") << hex("1103006B0003") << hex("7687");
    QTest::newRow("read 0, station 1") << hex("010300000001") << hex("840A");
    // Station 16 asked VER by the console function "C".
    QTest::newRow("10 43 05 VER CR LF") << hex("1043055645520D0A") << hex("4BD0");
}

void TestModbus::crc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, crc);
    QCOMPARE(UDP::CRC16(bytes), crc);
    // A frame followed by its own CRC leaves no remainder.
    QCOMPARE(Modbus::crc16(bytes + crc), quint16(0));
}

void TestModbus::writeCom32_data()
{
    QTest::addColumn<Send>("c");
    const QByteArray ver = "VER\r\n", line255 = QByteArray(253, 'A') + CRLF;
    // Plain: the line as it is, whatever the other boxes hold.
    QTest::newRow("plain") << Send{0, 1, "300", ver, ver};
    // RTU frames: address, "C", count, the line, CRC.
    QTest::newRow("RTU, station 16") << Send{1, 0, "16", ver, hex("104305") + ver, true};
    QTest::newRow("RTU, empty address is 0") << Send{1, 0, "", ver, hex("004305") + ver, true};
    QTest::newRow("RTU, text address is 0") << Send{1, 0, "x12", ver, hex("004305") + ver, true};
    QTest::newRow("RTU, blanks and a tail") << Send{1, 0, " 2 5 Hz", ver, hex("194305") + ver, true};
    QTest::newRow("RTU, fraction up") << Send{1, 0, "254.7", ver, hex("FF4305") + ver, true};
    QTest::newRow("RTU, half to even") << Send{1, 0, "2.5", ver, hex("024305") + ver, true};
    QTest::newRow("RTU, exponent") << Send{1, 0, "1e2", ver, hex("644305") + ver, true};
    QTest::newRow("RTU, 255 characters") << Send{1, 0, "16", line255, hex("1043FF") + line255, true};
    QTest::newRow("RTU, address 255.5") << Send{1, 0, "255.5", ver};
    QTest::newRow("RTU, address -1") << Send{1, 0, "-1", ver};
    // "MDC ": the address box copied as typed.
    QTest::newRow("MDC") << Send{1, 1, " 16", ver, "MDC  16,VER\r\n"};
    QTest::newRow("MDC, any address text") << Send{1, 7, "300x", ver, "MDC 300x,VER\r\n"};
    QTest::newRow("MDC, no line end to drop") << Send{1, 1, "16", "V"};
    QTest::newRow("port closed") << Send{0, 0, "16", ver, {}, false, true};
    QTest::newRow("port fails") << Send{1, 0, "16", ver, {}, false, false, true};
}

void TestModbus::writeCom32()
{
    QFETCH(Send, c);
    Harness h;
    UDP &w = h.udp;
    if (!c.closed)
        w.BTNOpenCom_Click();
    w.Check1.setValue(c.check1);
    w.Check3.setValue(c.check3);
    w.Text3.setText(c.text3);
    w.ModbusRxBuf = "half a reply";
    if (c.failOutput)
        h.mscomm.injectError();
    TimerTrace timer(w);

    QByteArray line = c.line;
    const qint16 result = w.WriteCOM32(line);
    const QByteArrayList written = h.mscomm.written();
    QCOMPARE(written.size(), c.wire.isEmpty() && !c.frame ? 0 : 1);
    const QByteArray sent = written.value(0);
    if (c.frame) {
        QCOMPARE(sent.chopped(2), c.wire);
        QCOMPARE(Modbus::crc16(sent), quint16(0));
    } else {
        QCOMPARE(sent, c.wire);
    }
    QCOMPARE(result, qint16(sent.size()));
    if (!sent.isEmpty())
        QCOMPARE(line, sent); // the caller's text becomes what was written
    QVERIFY(w.ModbusRxBuf.isEmpty());
    QCOMPARE(w.Pic.FillColor(), c.closed ? Colour::Yellow : Colour::SendGreen);
    QCOMPARE(timer.take(), QByteArray(c.closed ? "" : "+"));
}

void TestModbus::initPort_data()
{
    // Setup: O port open, L link up, 1 Check1, 2 Check2, 3 Check3, ! the port fails. Then what went out on the
    // serial port and by datagram.
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArrayList>("sent");
    const QByteArrayList uart{"UART 2,7\r\n"}, none{};
    QTest::newRow("serial, framing on") << QByteArray("O13") << uart;
    QTest::newRow("serial, Via USB clear") << QByteArray("O1") << none;
    QTest::newRow("serial, port closed") << QByteArray("3") << none;
    QTest::newRow("serial, port fails") << QByteArray("O3!") << none;
    QTest::newRow("UDP, MDC on") << QByteArray("L2") << uart;
    QTest::newRow("UDP, link down") << QByteArray("O2") << none;
}

void TestModbus::initPort()
{
    QFETCH(QByteArray, setup);
    QFETCH(QByteArrayList, sent);
    // Check2 rows are Command7's (Modbus over UDP), the others Command8's.
    const bool udp = setup.contains('2');
    Harness h;
    UDP &w = h.udp;
    if (setup.contains('O'))
        w.BTNOpenCom_Click();
    if (setup.contains('L'))
        h.startLinked();
    w.Check1.setValue(setup.contains('1'));
    w.Check2.setValue(setup.contains('2'));
    w.Check3.setValue(setup.contains('3'));
    if (setup.contains('!'))
        h.mscomm.injectError();
    w.tbReceiveData.setText("old");
    w.Pic.setFillColor(Colour::White);
    w.Comm_number.SetFocus();
    udp ? w.Command7.Click() : w.Command8.Click();
    QCOMPARE(h.mscomm.written(), udp ? QByteArrayList() : sent);
    QCOMPARE(h.winsock.written(), udp ? sent : QByteArrayList());
    // Sent directly: no indicator, no echo.
    QCOMPARE(w.Pic.FillColor(), Colour::White);
    QCOMPARE(w.tbReceiveData.Text(), QByteArray("old"));
    QCOMPARE(w.focus(), udp ? &w.tbSendData : static_cast<Element *>(&w.Comm_number));
}

void TestModbus::check2LocksTheFlashDisk()
{
    Harness h;
    h.connect();
    for (const qint16 value : {1, 0, 1, 0}) {
        h.udp.Check2.setValue(value);
        h.udp.Check2.Click();
        QCOMPARE(h.udp.Frame2.Enabled(), value == 0);
    }
}

QTEST_GUILESS_MAIN(TestModbus)
#include "tst_modbus.moc"
