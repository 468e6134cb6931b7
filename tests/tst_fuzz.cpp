// SPDX-License-Identifier: MIT
// Owns random input: no crash, every byte logged in order, the state in its ranges, whatever the device sends.
#include "harness.h"
#include "serial/modbus.h"

#include <QRandomGenerator>
#include <QTest>

#include <utility>

namespace
{
#if defined(VANTREL_SANITIZED)
constexpr int kInputs = 20000; // the sanitizers make each one several times slower
#else
constexpr int kInputs = 100000;
#endif
const QByteArrayList kMarkers{"OK", "ERROR", "ND", "Login", "Passwor", "\r\n", "\r", "\n"};

/// `count` random hexadecimal digits (`n` 16) or bytes of any value (`n` 256).
QByteArray draw(QRandomGenerator &rng, int count, int n)
{
    QByteArray drawn(count, Qt::Uninitialized);
    for (char &c : drawn)
        c = n == 16 ? "0123456789ABCDEF"[rng.bounded(16)] : char(rng.bounded(n));
    return drawn;
}

/// Mostly what the device sends (a reply word, a line of hexadecimal data, a short line) and now and then a long
/// mix of random bytes, hexadecimal digits, reply words and line ends; 0 to 1,500 bytes.
QByteArray randomDatagram(QRandomGenerator &rng)
{
    const QByteArray lineEnd = kMarkers[5 + rng.bounded(3)];
    const int kind = rng.bounded(8);
    if (kind < 2)
        return (rng.bounded(3) ? QByteArray("OK") : kMarkers[rng.bounded(5)]) + (rng.bounded(2) ? lineEnd : "");
    if (kind < 4)
        return draw(rng, rng.bounded(45), 16) + (rng.bounded(4) ? "" : "ND") + lineEnd;
    const int size = kind == 4 ? rng.bounded(41) : rng.bounded(1501);
    QByteArray datagram;
    while (datagram.size() < size) {
        const int part = kind == 4 ? 2 : rng.bounded(3), run = 1 + rng.bounded(40);
        datagram += part == 0 ? kMarkers[rng.bounded(kMarkers.size())] : draw(rng, run, part == 1 ? 16 : 256);
    }
    return datagram.left(size);
}

/// What the serial port delivers at one tick: the rest of a frame cut at the last tick, then nothing, random text
/// as for datagrams, or reply frames (whole, or with a damaged byte) with random bytes before them, cut where the
/// line pauses now and then.
QByteArray randomChunk(QRandomGenerator &rng, QByteArray &rest)
{
    QByteArray chunk = std::exchange(rest, {});
    if (const int kind = rng.bounded(6); kind < 3)
        return kind == 0 ? chunk : chunk + randomDatagram(rng);
    for (int frames = 1 + rng.bounded(3); frames > 0; --frames) {
        const QByteArray data = rng.bounded(2) ? randomDatagram(rng).left(255) : QByteArray("OK\r\n");
        QByteArray frame = Modbus::frame(quint8(rng.bounded(256)), Modbus::kConsoleFunction, data);
        if (rng.bounded(8) == 0)
            frame[rng.bounded(int(frame.size()))] ^= char(1 + rng.bounded(255));
        chunk += (rng.bounded(4) ? QByteArray() : draw(rng, rng.bounded(4), 256)) + frame;
    }
    if (rng.bounded(3) == 0)
        rest = chunk.sliced(rng.bounded(int(chunk.size()) + 1));
    chunk.chop(rest.size());
    return chunk;
}

/// The first value out of its range, empty when all are in range.
QString outOfRange(const UDP &w)
{
    const ProgressBar &bar = w.vbalProgressBar1;
    QList<qint64> value, max;
    value << w.ProgSaveMode << w.ProgDownloadMode << w.FlashWriting << w.FlashReading << w.FlashLastBlock
          << w.HistRecalled << w.ProgLineIdx << bar.Value() << w.FlashWriting * w.FlashPos << w.PortIdleCount
          << w.PortBlinkCount << w.ModbusRxBuf.size() << w.tbReceiveData.Text().size();
    // Flags are 0 or 1. After the last block of a write the progress and FlashPos stand one above their maximum.
    // Only an incomplete frame waits, and a frame is at most 255 data bytes and five more.
    max << 1 << 1 << 1 << 1 << 1 << 1 << 2048 << bar.Max() + 1 << w.FlashWriting * (w.FlashCount + 1) << 5 << 10 << 259
        << kReceivePaneLimit;
    for (int i = 0; i < value.size(); ++i)
        if (value[i] < 0 || value[i] > max[i])
            return QStringLiteral("outOfRange value %1 is %2, not 0 to %3").arg(i).arg(value[i]).arg(max[i]);
    return {};
}
} // namespace

class TestFuzz : public QObject
{
    Q_OBJECT
private slots:
    void inEveryMode_data()
    {
        QTest::addColumn<bool>("serial");
        // Datagrams of 0 to 1,500 bytes through the dispatcher; the mode bits are the listing (1), a flash write (2)
        // and read (4) and a download (8), each entered as its button would leave it.
        QTest::newRow("datagrams") << false;
        // Chunks through the poll; the mode bits are the listing (1), RTU framing (2), the "Via USB" text form of it
        // (4) and a download (8).
        QTest::newRow("serial chunks") << true;
    }
    void inEveryMode()
    {
        QFETCH(bool, serial);
        Harness h;
        UDP &w = h.udp;
        QRandomGenerator rng(20261206 + serial);
        QVERIFY(h.writeFile(QStringLiteral("send.bin"), draw(rng, 5000, 256)));
        serial ? h.startOpen() : h.startLinked();
        for (int i = 1; i <= 2048; ++i)
            w.ProgLine[i] = QByteArray::number(i * 10) + " PRINT " + QByteArray::number(i);
        QByteArray expectedLog, rest;
        // What the terminal sent goes to the expected log: the flash-disk commands are logged, program lines not.
        auto takeSent = [&, sent = h.winsock.written().size()]() mutable {
            for (const QByteArray &line : h.winsock.written().mid(std::exchange(sent, h.winsock.written().size())))
                if (!line.isEmpty() && !QChar(line[0]).isDigit())
                    expectedLog += line;
        };
        // Every combination of the mode bits in turn, each for a random stretch of fewer than 50 inputs.
        for (int n = 0, modes = 0, left = 0; n < kInputs; ++n) {
            if (left-- == 0) {
                w.ProgSaveMode = w.ProgDownloadMode = w.FlashWriting = w.FlashReading = 0;
                w.files.release(w.FlashFile);
                for (const int bit : {2, 4}) {
                    h.dialog.answer = h.dir.filePath(bit == 2 ? "send.bin" : "read.bin");
                    if (!serial && (modes & bit))
                        bit == 2 ? w.Command3_Click() : w.Command4_Click();
                }
                takeSent();
                w.Check1.setValue(serial && (modes & 2));
                w.Check3.setValue(serial && (modes & 4));
                w.ProgSaveMode = qint16(modes & 1);
                w.ProgDownloadMode = qint16(modes >> 3);
                // A program exchange under way at a random line, with the program file open.
                if (modes & 9) {
                    h.openProgramFile();
                    w.ProgLineCount = qint16(1 + rng.bounded(2048));
                    w.ProgLineIdx = qint16(rng.bounded(int(w.ProgLineCount)));
                }
                modes = (modes + 1) % 16;
                left = rng.bounded(50);
            }
            const QByteArray input = serial ? randomChunk(rng, rest) : randomDatagram(rng);
            serial ? h.mscomm.feedReceived(input) : h.winsock.feedReceived(input);
            if (serial)
                w.TMRComm_Timer();
            expectedLog += input;
            takeSent();
            if (const QString wrong = outOfRange(w); !wrong.isEmpty())
                QFAIL(qPrintable(QStringLiteral("after input %1: %2").arg(n).arg(wrong)));
        }
        QCOMPARE(h.newLog(), expectedLog);
        QVERIFY(serial ? h.mscomm.portOpen() : w.YesConnect.Visible());
        QVERIFY(!serial || h.boxes.boxes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFuzz)
#include "tst_fuzz.moc"
