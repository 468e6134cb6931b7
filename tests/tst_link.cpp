// SPDX-License-Identifier: MIT
// The UDP link: Connect and Disconnect, host:port, the neighbour flush, and why a Connect came to nothing.
#include "harness.h"

#include <QTest>

namespace
{
struct Link {
    QByteArray steps{}; // C Connect, D Disconnect, S the serial port opened
    bool up = false;
    QByteArray myIP{};
    quint16 localPort = 0; // the port bound, where one was
    double random = 0.5;
    QByteArray remotePort = "111";
    bool busy = false;
    QByteArray host = "127.0.0.1";
    QString flushed = QStringLiteral("127.0.0.1"); // the address whose neighbour entry Connect flushes, if any
    QString why{};                                 // the status line's reason when nothing came of it
    QByteArray remoteHost{};                       // what the socket is given, where it is not `host`
    qint32 port = 111;
};

/// The command that flushes the neighbour (ARP) entry of one address.
QString arpFlush(const QString &address)
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return QStringLiteral("arp -d ") + address;
#else
    return QStringLiteral("ip neigh flush to ") + address;
#endif
}
} // namespace
Q_DECLARE_METATYPE(Link)

class TestLink : public QObject
{
    Q_OBJECT
private slots:
    void steps_data();
    void steps();
};

void TestLink::steps_data()
{
    QTest::addColumn<Link>("c");
    const QByteArray me = "10.20.30.40";
    QTest::newRow("connect, lowest local port")
        << Link{.steps = "C", .up = true, .myIP = me, .localPort = 5500, .random = 0.0};
    QTest::newRow("connect, fraction of the local port dropped")
        << Link{.steps = "C", .up = true, .myIP = me, .localPort = 5623, .random = 0.1239};
    const QString serialOpen = QStringLiteral("the serial port is open: close it first");
    QTest::newRow("serial port open at connect") << Link{.steps = "SC", .why = serialOpen};
    QTest::newRow("remote port abc") << Link{
        .steps = "C", .remotePort = "abc", .why = QStringLiteral("remote port is not a number: abc")};
    QTest::newRow("remote port 111 + 2^32")
        << Link{.steps = "C", .remotePort = "4294967407", .why = "remote port is not between 1 and 65535: 4294967407"};
    QTest::newRow("local port busy") << Link{
        .steps = "C", .busy = true, .why = QStringLiteral("local port 6000 is in use")};
    QTest::newRow("disconnect without connect") << Link{.steps = "D"};
    QTest::newRow("disconnect keeps my address") << Link{.steps = "CD", .myIP = me};
    QTest::newRow("serial port open at disconnect")
        << Link{.steps = "CSD", .up = true, .myIP = me, .localPort = 6000, .why = serialOpen};
    // "host:port" names the device's port for that Connect; the remote port box stays as it is.
    const auto entry = [&me](const QByteArray &host, const QByteArray &remote, qint32 port, const QString &flushed) {
        return Link{"C", true, me, 6000, 0.5, "111", false, host, flushed, {}, remote, port};
    };
    QTest::newRow("host:port") << entry("10.0.0.7:5111", "10.0.0.7", 5111, "10.0.0.7");
    QTest::newRow("name:port, blanks") << entry(" device.local : 65535 ", "device.local", 65535, {});
    QTest::newRow("[IPv6]:port") << entry("[fe80::1]:5111", "fe80::1", 5111, {});
    QTest::newRow("[IPv6] alone") << entry("[fe80::1]", "fe80::1", 111, {});
    QTest::newRow("IPv6 without brackets has no port") << entry("fe80::1:5111", "fe80::1:5111", 111, {});
    const auto refused = [](const QByteArray &host, const char *why) {
        return Link{.steps = "C", .host = host, .flushed = host.startsWith("10.") ? "10.0.0.7" : "", .why = why};
    };
    QTest::newRow("host:abc") << refused("10.0.0.7:abc", "remote port is not a number: abc");
    QTest::newRow("host: nothing") << refused("10.0.0.7:", "remote port is not a number: ");
    QTest::newRow("host:0") << refused("10.0.0.7:0", "remote port is not between 1 and 65535: 0");
    QTest::newRow("host:65536") << refused("10.0.0.7:65536", "remote port is not between 1 and 65535: 65536");
    QTest::newRow("unknown host") << refused("nowhere.invalid:5111", "host name not found: nowhere.invalid");
    // Only the device's own entry is flushed, never the whole table; a host name has no entry to flush yet.
    QTest::newRow("blanks around the address")
        << Link{.steps = "C", .up = true, .myIP = me, .host = " 10.0.0.7 ", .flushed = "10.0.0.7"};
    QTest::newRow("a host name") << Link{.steps = "C", .up = true, .myIP = me, .host = "device.local", .flushed = {}};
    QTest::newRow("not a dotted address")
        << Link{.steps = "C", .up = true, .myIP = me, .host = "10.0.0.256", .flushed = {}};
}

void TestLink::steps()
{
    QFETCH(Link, c);
    Harness h;
    h.system.random = c.random;
    h.udp.Form_Load();
    h.udp.tbRemotePort.setText(c.remotePort);
    if (c.busy)
        h.winsock.busyPorts << h.udp.tbLocalPort.Text().toUShort();
    for (const char step : c.steps) {
        h.udp.tbSendData.setText("typed");
        if (step == 'S')
            h.mscomm.setPortOpen(true);
        else if (step == 'C') {
            h.udp.ComboRemoteIP.setText(c.host);
            h.udp.cbBind_Click();
        } else
            h.udp.Command1_Click();
    }
    QCOMPARE(h.udp.tbSendData.Text(), QByteArray());
    // Every element of the link state agrees with the socket.
    const QList<bool> upState{h.winsock.state() == 1,     !h.udp.cbBind.Enabled(),    h.udp.cbSendData.Enabled(),
                              h.udp.YesConnect.Visible(), !h.udp.NoConnect.Visible(), h.udp.Frame2.Enabled(),
                              h.udp.Frame6.Enabled()};
    QCOMPARE(upState, QList<bool>(7, c.up));
    QCOMPARE(h.udp.Text1.Text(), c.myIP);
    QVERIFY(h.boxes.boxes.isEmpty());
    QCOMPARE(h.udp.statusReason(), c.why);
    // The serial port is the active transport: Connect does not even flush the ARP cache.
    const bool flush = c.steps.contains('C') && c.steps != "SC" && !c.flushed.isEmpty();
    QCOMPARE(h.system.commands, flush ? QStringList{arpFlush(c.flushed)} : QStringList{});
    if (c.localPort) {
        QCOMPARE(h.winsock.boundPort, c.localPort);
        QCOMPARE(h.winsock.protocol, Winsock::UDP);
        QCOMPARE(h.winsock.remotePort, c.port);
        QCOMPARE(h.winsock.remoteHost, c.remoteHost.isNull() ? c.host : c.remoteHost);
        QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
    }
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
