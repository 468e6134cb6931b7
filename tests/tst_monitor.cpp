// SPDX-License-Identifier: MIT
// The wire monitor's record: what each unit of an exchange decodes to and which request it answers, driven through
// the handlers against the simulated device and a scripted serial port; and its exports read back.
#include "devicesim.h"
#include "harness.h"
#include "monitor/decode.h"
#include "monitor/trace.h"
#include "platform/qt/qtwinsock.h"
#include "serial/modbus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace
{
using Model = ModelOn<QtWinsock, FakeMSComm>;

/// 30 bytes: a write in two blocks (21 and 9), a read in two (20 and the last 10).
const QByteArray kFile = "0123456789abcdefghijklmnopqrst";

/// The user's steps, one after another, each waited for until no reply is due: "enter VER", "mdc 16", "rtu", "put",
/// "get NAME", "download", "list", "chunk HEX" (the scripted port receives it) and "tick" (a poll); "mark" leaves
/// out what came before.
struct Exchange {
    QString script;
    QStringList units; // "> decode" sent, "< decode" received; "<- k" when it answers the row's unit k
};

/// Each unit after `from` as the row writes it.
QStringList shown(const Monitor::Record &record, qint64 from)
{
    QStringList units;
    QHash<qint64, qsizetype> index; // unit number -> its place in the row
    for (qint64 n = from; n < record.end(); ++n) {
        const Monitor::Unit &u = record.at(n);
        if (u.direction == Monitor::Direction::Note)
            continue;
        QString line = (u.direction == Monitor::Direction::Sent ? QStringLiteral("> ") : QStringLiteral("< ")) +
                       Monitor::decode(record, n).summary;
        if (index.contains(u.request))
            line += QStringLiteral(" <- %1").arg(index.value(u.request));
        index.insert(n, units.size());
        units << line;
    }
    return units;
}

/// The simulated device at a free port of 127.0.0.1.
DeviceSim::Options simulated()
{
    DeviceSim::Options options;
    options.port = 0;
    return options;
}

/// The link up to the simulated device.
void connectTo(Model &m, quint16 port)
{
    m.udp.ComboRemoteIP.setText("127.0.0.1");
    m.udp.tbRemotePort.setText(QByteArray::number(port));
    m.udp.tbLocalPort.setText("0");
    m.udp.cbBind_Click();
}

/// Runs one step of a script on the model; false when what it waits for never comes.
bool step(Model &m, const QString &action, qint64 &mark)
{
    UDP &w = m.udp;
    const QString verb = action.section(QLatin1Char(' '), 0, 0), arg = action.section(QLatin1Char(' '), 1);
    const auto answer = [&](const QString &name) { m.dialog.answer = m.dir.filePath(name); };
    if (verb == QLatin1String("enter")) {
        pressEnter(w, arg.toLatin1());
    } else if (verb == QLatin1String("mdc")) {
        w.Text4.setText(arg.toLatin1());
        w.Check2.setValue(1);
    } else if (verb == QLatin1String("rtu")) {
        w.BTNOpenCom_Click();
        w.Check1.setValue(arg != QLatin1String("off"));
    } else if (verb == QLatin1String("put")) {
        m.writeFile(QStringLiteral("file.bin"), kFile);
        answer(QStringLiteral("file.bin"));
        w.Text2.setText("T.BIN");
        w.Command3_Click();
    } else if (verb == QLatin1String("get")) {
        answer(QStringLiteral("back.bin"));
        w.Text2.setText(arg.toLatin1());
        w.Command4_Click();
    } else if (verb == QLatin1String("download")) {
        m.writeFile(QStringLiteral("prog.bas"), "10 PRINT 1\r\n90 END\r\n");
        answer(QStringLiteral("prog.bas"));
        w.Command10_Click();
    } else if (verb == QLatin1String("list")) {
        answer(QStringLiteral("list.bas"));
        w.Command11_Click();
    } else if (verb == QLatin1String("chunk")) {
        m.mscomm.feedReceived(QByteArray::fromHex(arg.toLatin1()));
    } else if (verb == QLatin1String("tick")) {
        w.TMRComm_Timer();
    } else if (verb == QLatin1String("mark")) {
        mark = w.monitor.end();
    }
    // The simulated device answers by itself; the scripted port only what the script feeds it.
    return QTest::qWaitFor([&] { return w.Winsock1.state() != 1 || w.monitor.awaited() < 0; }, kPatienceMs);
}
} // namespace
Q_DECLARE_METATYPE(Exchange)

class TestMonitor : public QObject
{
    Q_OBJECT
private slots:
    void decodes_data();
    void decodes();
    void exportRoundTrip();
    void ringKeepsTheNewest_data();
    void ringKeepsTheNewest();
};

void TestMonitor::decodes_data()
{
    QTest::addColumn<Exchange>("c");
    QTest::newRow("a reply paired with its request") << Exchange{"enter VER", {"> command VER", "< reply <- 0"}};
    QTest::newRow("MDC") << Exchange{"mdc 16; enter VER",
                                     {"> MDC station 16 · command VER", "< MDC station 16 · reply <- 0"}};
    QTest::newRow("each flash step of a write")
        << Exchange{"put",
                    {"> OPENWR \"T.BIN\"", "< OK <- 0", "> WRITE block 1 at 0, 21 bytes", "< OK <- 2",
                     "> WRITE block 2 at 21, 9 bytes", "< OK <- 4", "> CLOSE", "< OK <- 6"}};
    QTest::newRow("each flash step of a read")
        << Exchange{"put; mark; get T.BIN",
                    {"> OPENRD \"T.BIN\"", "< OK <- 0", "> READ block 1 (at 0)",
                     "< data of block 1 at 0, 20 bytes <- 2", "< OK <- 2", "> READ block 2 (at 20)",
                     "< end of file (ND), block 2 at 20, 10 bytes <- 5", "> CLOSE", "< OK <- 7"}};
    QTest::newRow("a flash error") << Exchange{
        "get NO.BIN", {"> OPENRD \"NO.BIN\"", "< ERROR: file not found <- 0", "> CLOSE", "< OK <- 2"}};
    QTest::newRow("BASIC lines down and listed back")
        << Exchange{"download; mark; list",
                    {"> LIST", "< listing line 10 <- 0", "< listing line 90 <- 0", "< end of the listing <- 0"}};
    QTest::newRow("a BASIC line") << Exchange{"download",
                                              {"> program line 10", "< OK <- 0", "> program line 90", "< OK <- 2"}};
    // The scripted device on the serial line echoes the frame of VER CR LF to station 16: 10 43 05 56 45 52 0D 0A and
    // the CRC-16/MODBUS of those eight bytes, D04B, carried low byte first (tst_modbus holds the CRC to the public
    // catalogue's check value).
    const QString request = QStringLiteral("> RTU 16 C, 5 bytes, CRC D04B · command VER");
    const QString chunk = QStringLiteral("< read: RTU frames are gathered from it");
    const QString reply = QStringLiteral("< RTU 16 C, 5 bytes, CRC D04B · reply <- 0");
    QTest::newRow("RTU, CRC good") << Exchange{"rtu; enter VER; chunk 1043055645520D0A4BD0; tick",
                                               {request, chunk, reply}};
    QTest::newRow("RTU, a frame split across polls")
        << Exchange{"rtu; enter VER; chunk 1043; tick; chunk 05564552; tick; chunk 0D0A4BD0; tick",
                    {request, chunk, chunk, chunk, reply}};
    QTest::newRow("RTU, CRC bad: the request still awaits its reply")
        << Exchange{"rtu; enter VER; chunk 1043055645520D0A4BD1; tick; chunk 1043055645520D0A4BD0; tick",
                    {request, chunk, "< RTU 16 C, 5 bytes, CRC D14B bad, expected D04B", chunk, reply}};
    QTest::newRow("a serial reply in two pieces")
        << Exchange{"rtu off; enter VER; chunk 56455220; tick; chunk 332E310D0A; tick",
                    {"> command VER", "< reply <- 0", "< reply <- 0"}};
}

void TestMonitor::decodes()
{
    QFETCH(Exchange, c);
    Model m;
    DeviceSim device(simulated());
    QString error;
    QVERIFY2(device.start(&error), qPrintable(error));
    m.udp.Form_Load();
    if (!c.script.startsWith(QLatin1String("rtu")))
        connectTo(m, device.port());
    qint64 mark = m.udp.monitor.end();
    for (const QString &action : c.script.split(QStringLiteral("; ")))
        QVERIFY2(step(m, action, mark), qPrintable(action));
    QCOMPARE(shown(m.udp.monitor, mark), c.units);
    QVERIFY(m.boxes.boxes.isEmpty());
}

void TestMonitor::exportRoundTrip()
{
    Model m;
    DeviceSim device(simulated());
    QVERIFY(device.start());
    m.udp.Form_Load();
    connectTo(m, device.port());
    qint64 mark = 0;
    for (const QString &action : {QStringLiteral("enter VER"), QStringLiteral("put")})
        QVERIFY(step(m, action, mark));
    const Monitor::Record &record = m.udp.monitor;
    QByteArrayList datagrams, transfer;
    for (qint64 n = record.first(); n < record.end(); ++n) {
        const Monitor::Unit &u = record.at(n);
        if (u.form == Monitor::Form::Datagram)
            (u.kind & Monitor::Flash ? transfer : datagrams) << u.bytes.toByteArray();
    }
    datagrams += transfer;

    // Every unit comes back from JSON Lines and CSV, with the same fields in both.
    QStringList fields;
    for (const char *field : Monitor::kTraceFields)
        fields << QString::fromLatin1(field);
    for (const QString name : {"trace.jsonl", "trace.csv", "trace.pcapng"}) {
        m.dialog.answer = m.dir.filePath(name);
        m.udp.monitorSaveAs({});
    }
    const QByteArrayList lines = m.file(QStringLiteral("trace.jsonl")).split('\n');
    QByteArrayList rows = m.file(QStringLiteral("trace.csv")).split('\n');
    QCOMPARE(rows.takeFirst().trimmed(), fields.join(QLatin1Char(',')).toLatin1());
    QCOMPARE(lines.size() - 1, record.end() - record.first());
    QCOMPARE(rows.size() - 1, lines.size() - 1);
    for (qint64 n = record.first(); n < record.end(); ++n) {
        const QJsonObject unit = QJsonDocument::fromJson(lines[n - record.first()]).object();
        QStringList keys = unit.keys(), wanted = fields;
        QCOMPARE(keys, (wanted.sort(), wanted));
        QCOMPARE(unit.value(QStringLiteral("n")).toInteger(), n);
        QCOMPARE(QByteArray::fromHex(unit.value(QStringLiteral("hex")).toString().toLatin1()), record.at(n).bytes);
        QCOMPARE(rows[n - record.first()].split(',').value(8), record.at(n).bytes.toByteArray().toHex());
    }

    // The same transfer by `vantrel put`, over IPv6 where the loopback has it, traced to a pcapng of its own.
    DeviceSim::Options v6 = simulated();
    v6.address = QHostAddress::LocalHostIPv6;
    DeviceSim other(v6);
    const bool ipv6 = other.start();
    const quint16 port = ipv6 ? other.port() : device.port();
    QProcess vantrel;
    vantrel.setWorkingDirectory(m.dir.path());
    vantrel.start(builtProgram(VANTREL_BATCH),
                  {QStringLiteral("--host"),
                   (ipv6 ? QStringLiteral("[::1]:") : QStringLiteral("127.0.0.1:")) + QString::number(port),
                   QStringLiteral("--trace"), QStringLiteral("put.pcapng"), QStringLiteral("put"),
                   QStringLiteral("file.bin"), QStringLiteral("T.BIN")});
    // The devices answer from this thread's event loop.
    QVERIFY(QTest::qWaitFor([&] { return vantrel.state() == QProcess::NotRunning; }, kPatienceMs));
    QVERIFY2(vantrel.exitCode() == 0, vantrel.readAllStandardError().constData());

    // The pcapng files open in a network analyser with every datagram in place, here and from `vantrel put`, whose
    // trace holds the same exchange, byte for byte.
    const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
    if (tshark.isEmpty())
        QSKIP("no tshark on this system: the pcapng files are not read back");
    const auto payloads = [&](const QString &file, const QByteArray &one, const QByteArray &other) {
        QProcess reader;
        reader.start(tshark,
                     {QStringLiteral("-n"), QStringLiteral("-r"), file, QStringLiteral("-T"), QStringLiteral("fields"),
                      QStringLiteral("-e"), QStringLiteral("udp.srcport"), QStringLiteral("-e"),
                      QStringLiteral("udp.dstport"), QStringLiteral("-e"), QStringLiteral("udp.payload")});
        if (!reader.waitForFinished(kPatienceMs) || reader.exitCode() != 0)
            return QByteArrayList{reader.readAllStandardError()};
        QByteArrayList found;
        for (const QByteArray &line : reader.readAllStandardOutput().split('\n')) {
            QByteArrayList columns = line.split('\t');
            // Each datagram between the device's port and the terminal's, one way or the other.
            const QByteArrayList ports = columns.mid(0, 2);
            if (columns.size() == 3 &&
                (other.isEmpty() ? ports.contains(one)
                                 : ports == QByteArrayList{one, other} || ports == QByteArrayList{other, one}))
                found << QByteArray::fromHex(columns[2].replace(":", ""));
        }
        return found;
    };
    QCOMPARE(payloads(m.dir.filePath(QStringLiteral("trace.pcapng")), QByteArray::number(m.winsock.localPort()),
                      QByteArray::number(device.port())),
             datagrams);
    QCOMPARE(payloads(m.dir.filePath(QStringLiteral("put.pcapng")), QByteArray::number(port), {}), transfer);
}

void TestMonitor::ringKeepsTheNewest_data()
{
    QTest::addColumn<qsizetype>("capacity");
    QTest::addColumn<QList<qsizetype>>("sizes"); // of the units appended, over and over
    QTest::addColumn<int>("appended");
    QTest::addColumn<qint64>("held");
    const qsizetype store = Monitor::Record::kBytesPerUnit;
    QTest::newRow("as many units as the capacity") << qsizetype(10) << QList<qsizetype>{5, 0, 11} << 25 << qint64(10);
    QTest::newRow("as many bytes as the store") << qsizetype(10) << QList<qsizetype>{3 * store} << 7 << qint64(3);
    QTest::newRow("bytes that end the store exactly")
        << qsizetype(4) << QList<qsizetype>{store, 2 * store, store} << 9 << qint64(3);
    QTest::newRow("large and small, many times round")
        << qsizetype(8) << QList<qsizetype>{4 * store, 1, 0, store / 2, 2 * store} << 203 << qint64(6);
    QTest::newRow("nothing recorded") << qsizetype(0) << QList<qsizetype>{8} << 5 << qint64(0);
}

void TestMonitor::ringKeepsTheNewest()
{
    QFETCH(qsizetype, capacity);
    QFETCH(QList<qsizetype>, sizes);
    QFETCH(int, appended);
    QFETCH(qint64, held);
    const auto unitBytes = [&](qint64 n) { return QByteArray(sizes[n % sizes.size()], char('a' + n % 26)); };
    Monitor::Record record(capacity);
    for (int n = 0; n < appended; ++n)
        record.note(n, unitBytes(n));
    QCOMPARE(record.end(), qint64(appended));
    QCOMPARE(record.end() - record.first(), held);
    for (qint64 n = record.first(); n < record.end(); ++n) {
        QCOMPARE(record.at(n).bytes, unitBytes(n));
        QCOMPARE(record.at(n).us, n);
    }
}

QTEST_GUILESS_MAIN(TestMonitor)
#include "tst_monitor.moc"
