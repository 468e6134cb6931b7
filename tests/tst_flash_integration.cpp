// SPDX-License-Identifier: MIT
#include "integration.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <utility>

namespace
{
// A whole file of random bytes goes through thousands of datagram round trips.
constexpr int kTransferTimeoutMs = 60000;
const QString kDisk = QStringLiteral("disk");
const QByteArray kDeviceName = "DATA.BIN";

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(generator.bounded(256));
    return bytes;
}

int distinctValues(const QByteArray &bytes)
{
    bool seen[256] = {};
    int count = 0;
    for (char b : bytes)
        if (!std::exchange(seen[uchar(b)], true))
            ++count;
    return count;
}

DeviceSim::Options onDisk(int errorAfterBlocks = -1)
{
    DeviceSim::Options options;
    options.diskFolder = kDisk;
    options.errorAfterBlocks = errorAfterBlocks;
    return options;
}

QString onDevice(const QByteArray &name)
{
    return kDisk + u'/' + QString::fromLatin1(name);
}

/// Index of the first byte where the two differ, -1 when they are the same.
qsizetype firstDifference(const QByteArray &a, const QByteArray &b)
{
    const qsizetype common = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i)
        if (a[i] != b[i])
            return i;
    return a.size() == b.size() ? -1 : common;
}

/// Waits until the transfer has ended, however it ended, and the device has answered the CLOSE that ends
/// every transfer; that answer goes to the console, as no transfer is under way any more.
void awaitEnd(SimLink &link, const qint16 &flag, qsizetype paneBefore)
{
    QCOMPARE(flag, qint16(1));
    QTRY_COMPARE_WITH_TIMEOUT(flag, qint16(0), kTransferTimeoutMs);
    QTRY_COMPARE(link.udp.tbReceiveData.Text().mid(paneBefore), QByteArray("OK\r\n"));
}

/// Send of a local file under the device name.
void send(SimLink &link, const QString &localName, const QByteArray &deviceName)
{
    link.dialog.answer = link.path(localName);
    link.udp.Text2.setText(deviceName);
    const qsizetype paneBefore = link.udp.tbReceiveData.Text().size();
    link.udp.Command3_Click();
    awaitEnd(link, link.udp.FlashWriting, paneBefore);
}

/// Recieve of the device file into a local file.
void receive(SimLink &link, const QByteArray &deviceName, const QString &localName)
{
    link.dialog.answer = link.path(localName);
    link.udp.Text2.setText(deviceName);
    const qsizetype paneBefore = link.udp.tbReceiveData.Text().size();
    link.udp.Command4_Click();
    awaitEnd(link, link.udp.FlashReading, paneBefore);
}
} // namespace

class TestFlashIntegration : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void deviceAborts_data();
    void deviceAborts();
};

void TestFlashIntegration::roundTrip_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<qsizetype>("oldLocalSize"); // a local file already there before the read, -1 none

    // 5120 full read blocks, the last answered by a bare end marker.
    QTest::newRow("100 KiB, every byte value, new local file") << qsizetype(100 * 1024) << qsizetype(-1);
    // The last block is short and carries its digits before the end marker; the old file is longer.
    QTest::newRow("307 bytes over a longer local file") << qsizetype(307) << qsizetype(5000);
}

void TestFlashIntegration::roundTrip()
{
    QFETCH(qsizetype, size);
    QFETCH(qsizetype, oldLocalSize);

    SimLink link(onDisk());
    QVERIFY2(link.connect(), qPrintable(link.error));
    const QByteArray source = randomBytes(size, 0x5EED0000u + quint32(size));
    if (size >= 100 * 1024)
        QCOMPARE(distinctValues(source), 256);
    QVERIFY(link.writeFile(QStringLiteral("source.bin"), source));
    if (oldLocalSize >= 0)
        QVERIFY(link.writeFile(QStringLiteral("copy.bin"), QByteArray(oldLocalSize, '\xAA')));

    send(link, QStringLiteral("source.bin"), kDeviceName);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(link.udp.vbalProgressBar1.Text(), QByteArray("OK"));
    QCOMPARE(link.udp.vbalProgressBar1.Max(), qint32(size));
    QCOMPARE(link.udp.vbalProgressBar1.Value(), qint32(size + 1));
    QCOMPARE(link.udp.tbSendData.Text(), QByteArray("CLOSE"));
    QCOMPARE(firstDifference(link.file(onDevice(kDeviceName)), source), qsizetype(-1));

    receive(link, kDeviceName, QStringLiteral("copy.bin"));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(link.udp.vbalProgressBar1.Text(), QByteArray("OK"));
    QCOMPARE(link.udp.vbalProgressBar1.Value(), qint32(100));
    QCOMPARE(link.udp.tbSendData.Text(), QByteArray("CLOSE"));
    QVERIFY(!link.udp.files.isOpen(link.udp.FlashFile));
    QCOMPARE(firstDifference(link.file(QStringLiteral("copy.bin")), source), qsizetype(-1));
    QVERIFY(link.boxes.boxes.isEmpty());
}

void TestFlashIntegration::deviceAborts_data()
{
    QTest::addColumn<bool>("reading");
    QTest::addColumn<QByteArray>("blockCommand");

    QTest::newRow("write") << false << QByteArray("WRITE \"");
    QTest::newRow("read") << true << QByteArray("READ 20\"");
}

void TestFlashIntegration::deviceAborts()
{
    QFETCH(bool, reading);
    QFETCH(QByteArray, blockCommand);

    // Three blocks go through; the device refuses the fourth.
    SimLink link(onDisk(3));
    QVERIFY2(link.connect(), qPrintable(link.error));
    const QByteArray source = randomBytes(1024, 0xAB0127u);
    QVERIFY(link.writeFile(QStringLiteral("source.bin"), source));
    QVERIFY(QDir().mkpath(link.path(kDisk)));
    QVERIFY(link.writeFile(onDevice(kDeviceName), source));

    if (reading)
        receive(link, kDeviceName, QStringLiteral("copy.bin"));
    else
        send(link, QStringLiteral("source.bin"), "NEW.BIN");
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(link.udp.vbalProgressBar1.Text(), QByteArray("ERROR"));
    QCOMPARE(link.udp.FlashWriting, qint16(0));
    QCOMPARE(link.udp.FlashReading, qint16(0));
    QCOMPARE(link.udp.tbSendData.Text(), QByteArray("CLOSE"));
    QVERIFY(!link.udp.files.isOpen(link.udp.FlashFile));
    // What went through before the refusal stays, on whichever side received it.
    if (reading)
        QCOMPARE(link.file(QStringLiteral("copy.bin")), source.first(3 * 20));
    else
        QCOMPARE(link.file(onDevice("NEW.BIN")), source.first(3 * 21));

    // Four block commands, the refusal logged raw, CLOSE as the terminal's last line, then the device's answer.
    const QByteArrayList lines = link.logAfterStart().split('\n');
    QCOMPARE(
        std::count_if(lines.cbegin(), lines.cend(), [&](const QByteArray &l) { return l.startsWith(blockCommand); }),
        4);
    QVERIFY(lines.size() >= 4);
    QCOMPARE(lines.mid(lines.size() - 4), (QByteArrayList{"ERROR simulated failure\r", "CLOSE\r", "OK\r", ""}));
    QVERIFY(link.boxes.boxes.isEmpty());
}

QTEST_GUILESS_MAIN(TestFlashIntegration)
#include "tst_flash_integration.moc"
