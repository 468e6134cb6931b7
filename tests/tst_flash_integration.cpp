// SPDX-License-Identifier: MIT
#include "integration.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

namespace
{
const QString kOnDevice = QStringLiteral("disk/DATA.BIN");

QByteArray randomBytes(qsizetype size)
{
    QRandomGenerator generator(0x5EED0000u + quint32(size));
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(generator.bounded(256));
    return bytes;
}

/// Send of source.bin, or Recieve into copy.bin when `reading`, to or from DATA.BIN on the device; returns
/// once the transfer has ended, however it ended, and the device has answered the CLOSE that ends every transfer.
/// The pane shows the device's refusal, if any, then its answer to the CLOSE.
void transfer(SimLink &link, bool reading, const QByteArray &refusal = {})
{
    link.dialog.answer = link.dir.filePath(reading ? QStringLiteral("copy.bin") : QStringLiteral("source.bin"));
    link.udp.Text2.setText("DATA.BIN");
    const qsizetype paneBefore = link.udp.tbReceiveData.Text().size();
    reading ? link.udp.Command4_Click() : link.udp.Command3_Click();
    const qint16 &flag = reading ? link.udp.FlashReading : link.udp.FlashWriting;
    QCOMPARE(flag, qint16(1));
    // A whole file goes through thousands of datagram round trips.
    QTRY_COMPARE_WITH_TIMEOUT(flag, qint16(0), kPatienceMs);
    // No transfer is under way any more, so the answer to CLOSE goes to the console.
    QTRY_COMPARE_WITH_TIMEOUT(link.udp.tbReceiveData.Text().mid(paneBefore), refusal + "OK\r\n", kPatienceMs);
    QCOMPARE(link.udp.tbSendData.Text(), QByteArray("CLOSE"));
    QVERIFY(!link.udp.files.isOpen(link.udp.FlashFile));
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
    // 5120 full read blocks, the last answered by a bare end marker.
    QTest::newRow("100 KiB, every byte value") << qsizetype(100 * 1024);
    // The last read block is short and carries its digits before the end marker.
    QTest::newRow("307 bytes") << qsizetype(307);
    QTest::newRow("1 byte") << qsizetype(1);
}

void TestFlashIntegration::roundTrip()
{
    QFETCH(qsizetype, size);
    SimLink link({.diskFolder = QStringLiteral("disk")});
    QVERIFY2(link.connect(), qPrintable(link.error));
    const QByteArray source = randomBytes(size);
    QVERIFY(size < 100 * 1024 || QSet<char>(source.cbegin(), source.cend()).size() == 256);
    QVERIFY(link.writeFile(QStringLiteral("source.bin"), source));
    // The local copy exists already and is longer: none of its old tail may survive the read.
    QVERIFY(link.writeFile(QStringLiteral("copy.bin"), QByteArray(size + 5000, '\xAA')));

    transfer(link, false);
    QCOMPARE(link.udp.vbalProgressBar1.Text(), QByteArray("OK"));
    QCOMPARE(link.udp.vbalProgressBar1.Value(), qint32(size + 1));
    QCOMPARE(link.file(kOnDevice), source);

    transfer(link, true);
    QCOMPARE(link.udp.vbalProgressBar1.Text(), QByteArray("OK"));
    QCOMPARE(link.udp.vbalProgressBar1.Value(), qint32(100));
    QCOMPARE(link.file(QStringLiteral("copy.bin")), source);
    QVERIFY(link.boxes.boxes.isEmpty());
}

void TestFlashIntegration::deviceAborts_data()
{
    QTest::addColumn<bool>("reading");
    QTest::newRow("write") << false;
    QTest::newRow("read") << true;
}

void TestFlashIntegration::deviceAborts()
{
    QFETCH(bool, reading);
    // Three blocks go through; the device refuses the fourth.
    SimLink link({.diskFolder = QStringLiteral("disk"), .errorAfterBlocks = 3});
    QVERIFY2(link.connect(), qPrintable(link.error));
    const QByteArray source = randomBytes(1024);
    QVERIFY(link.writeFile(QStringLiteral("source.bin"), source));
    QVERIFY(link.writeFile(kOnDevice, source));

    QVERIFY(link.writeFile(QStringLiteral("copy.bin"), "earlier copy"));

    transfer(link, reading, "ERROR simulated failure\r\n"); // and with it both flags back at 0
    QCOMPARE(link.udp.vbalProgressBar1.Text(), QByteArray("ERROR"));
    // The device keeps what went through before the refusal; a local copy is replaced only by a whole file.
    if (reading) {
        QCOMPARE(link.file(QStringLiteral("copy.bin")), QByteArray("earlier copy"));
        QCOMPARE(QDir(link.dir.path()).entryList({QStringLiteral("copy*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("copy.bin")});
    } else {
        QCOMPARE(link.file(kOnDevice), source.first(3 * 21));
    }
    // Four block commands, the last refused; the refusal logged raw, then CLOSE and the device's answer to it.
    const QByteArray log = link.newLog();
    QCOMPARE(log.count(reading ? "READ 20\"\r\n" : "WRITE \""), 4);
    QVERIFY2(log.endsWith("\"\r\nERROR simulated failure\r\nCLOSE\r\nOK\r\n"), log.right(80).constData());
    QVERIFY(link.boxes.boxes.isEmpty());
}

QTEST_GUILESS_MAIN(TestFlashIntegration)
#include "tst_flash_integration.moc"
