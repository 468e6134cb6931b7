// SPDX-License-Identifier: MIT
// Random input from a fixed seed: datagrams of 0 to 1,500 bytes, the device's reply words and line ends mixed in,
// through the dispatcher in every combination of the mode flags; and serial chunks, random bytes and reply frames
// whole, split or damaged, through the poll in text and RTU framing. Nothing may crash, the log must hold every
// byte in order, and the terminal state must stay within its ranges.
#include "harness.h"
#include "serial/modbus.h"

#include <QRandomGenerator>
#include <QTest>

#include <cctype>
#include <utility>

namespace
{
#if defined(VANTREL_SANITIZED)
constexpr int kDatagrams = 20000; // the sanitizers make each one several times slower
#else
constexpr int kDatagrams = 100000;
#endif
constexpr int kChunks = kDatagrams;
constexpr quint32 kSeed = 20261206;
const QByteArrayList kMarkers{"OK", "ERROR", "ND", "Login", "Passwor", "\r\n", "\r", "\n"};

QByteArray hexDigits(QRandomGenerator &rng, int count)
{
    QByteArray digits;
    for (int i = 0; i < count; ++i)
        digits += "0123456789ABCDEF"[rng.bounded(16)];
    return digits;
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
        return hexDigits(rng, rng.bounded(45)) + (rng.bounded(4) ? "" : "ND") + lineEnd;
    const int size = kind == 4 ? rng.bounded(41) : rng.bounded(1501);
    QByteArray datagram;
    while (datagram.size() < size) {
        const int run = 1 + rng.bounded(40);
        const int part = kind == 4 ? 2 : rng.bounded(3);
        if (part == 0)
            datagram += kMarkers[rng.bounded(kMarkers.size())];
        else if (part == 1)
            datagram += hexDigits(rng, run);
        else
            for (int i = 0; i < run; ++i)
                datagram += char(rng.bounded(256));
    }
    datagram.truncate(size);
    return datagram;
}

/// What the serial port delivers at one tick: nothing, random text as for datagrams, or reply frames (whole, cut
/// where the line paused, or with a damaged byte) with random bytes between them.
QByteArray randomChunk(QRandomGenerator &rng, QByteArray &rest)
{
    QByteArray chunk = std::exchange(rest, {});
    // An idle tick (unless a frame's rest is due), or random text.
    if (const int kind = rng.bounded(6); kind < 3)
        return kind == 0 ? chunk : chunk + randomDatagram(rng);
    for (int frames = 1 + rng.bounded(3); frames > 0; --frames) {
        const QByteArray data = rng.bounded(2) ? randomDatagram(rng).left(255) : QByteArray("OK\r\n");
        QByteArray frame = Modbus::frame(quint8(rng.bounded(256)), Modbus::kConsoleFunction, data);
        if (rng.bounded(8) == 0)
            frame[rng.bounded(int(frame.size()))] ^= char(1 + rng.bounded(255));
        if (rng.bounded(4) == 0)
            chunk += QByteArray(rng.bounded(4), char(rng.bounded(256)));
        chunk += frame;
    }
    // The line pauses inside the last frame now and then: its rest comes with the next tick.
    if (rng.bounded(3) == 0) {
        const qsizetype cut = rng.bounded(int(chunk.size()) + 1);
        rest = chunk.mid(cut);
        chunk.truncate(cut);
    }
    return chunk;
}

/// A full line table, so that a download may run to any line.
void fillProgram(UDP &w)
{
    for (int i = 1; i <= 2048; ++i)
        w.ProgLine[i] = QByteArray::number(i * 10) + " PRINT " + QByteArray::number(i);
}

/// A program exchange under way at a random line, with the program file open.
void enterProgram(Harness &h, QRandomGenerator &rng)
{
    h.openProgramFile();
    h.udp.ProgLineCount = qint16(1 + rng.bounded(2048));
    h.udp.ProgLineIdx = qint16(rng.bounded(int(h.udp.ProgLineCount)));
}

/// The first value out of its range, empty when all are in range.
QString outOfRange(const UDP &w)
{
    for (const qint16 flag :
         {w.ProgSaveMode, w.ProgDownloadMode, w.FlashWriting, w.FlashReading, w.FlashLastBlock, w.HistRecalled})
        if (flag != 0 && flag != 1)
            return QStringLiteral("a flag holds %1").arg(flag);
    if (w.ProgLineIdx < 0 || w.ProgLineIdx > 2048)
        return QStringLiteral("ProgLineIdx %1").arg(w.ProgLineIdx);
    const ProgressBar &bar = w.vbalProgressBar1;
    // After the last block of a write the value stands one above the maximum.
    if (bar.Value() < 0 || bar.Value() > bar.Max() + 1)
        return QStringLiteral("progress %1 of %2").arg(bar.Value()).arg(bar.Max());
    if (w.FlashWriting && (w.FlashPos < 0 || w.FlashPos > w.FlashCount + 1))
        return QStringLiteral("FlashPos %1 of %2").arg(w.FlashPos).arg(w.FlashCount);
    if (w.PortIdleCount < 0 || w.PortIdleCount > 5 || w.PortBlinkCount < 0 || w.PortBlinkCount > 10)
        return QStringLiteral("idle %1, blink %2").arg(w.PortIdleCount).arg(w.PortBlinkCount);
    // Only an incomplete frame waits, and a frame is at most 255 data bytes and five more.
    if (w.ModbusRxBuf.size() >= 260)
        return QStringLiteral("%1 bytes wait for a frame").arg(w.ModbusRxBuf.size());
    if (w.tbReceiveData.Text().size() > kReceivePaneLimit)
        return QStringLiteral("the pane holds %1 bytes").arg(w.tbReceiveData.Text().size());
    return {};
}
} // namespace

class TestFuzz : public QObject
{
    Q_OBJECT
private slots:
    void datagramsInEveryMode()
    {
        Harness h;
        UDP &w = h.udp;
        QByteArray file(5000, Qt::Uninitialized);
        for (int i = 0; i < file.size(); ++i)
            file[i] = char(i * 7);
        QVERIFY(h.writeFile(QStringLiteral("send.bin"), file));
        fillProgram(w);
        h.startLinked();
        QByteArray expectedLog;
        qsizetype sent = h.winsock.written().size();
        // What the terminal sent goes to the expected log: the flash-disk commands are logged, program lines not.
        const auto takeSent = [&] {
            for (const QByteArray &line : h.winsock.written().mid(std::exchange(sent, h.winsock.written().size())))
                if (!line.isEmpty() && !std::isdigit(uchar(line[0])))
                    expectedLog += line;
        };

        QRandomGenerator rng(kSeed);
        int modes = 0, left = 0;
        for (int n = 0; n < kDatagrams; ++n) {
            if (left-- == 0) {
                // Every combination in turn (bit 0 listing, 1 flash write, 2 flash read, 3 download), each for a
                // random stretch, entered as its button would leave it.
                w.ProgSaveMode = w.ProgDownloadMode = w.FlashWriting = w.FlashReading = 0;
                w.files.release(w.FlashFile);
                for (const int bit : {2, 4}) {
                    h.dialog.answer =
                        h.dir.filePath(bit == 2 ? QStringLiteral("send.bin") : QStringLiteral("read.bin"));
                    if (modes & bit)
                        bit == 2 ? w.Command3_Click() : w.Command4_Click();
                }
                takeSent();
                if (modes & 9) {
                    enterProgram(h, rng);
                    w.ProgSaveMode = qint16(modes & 1);
                    w.ProgDownloadMode = qint16((modes >> 3) & 1);
                }
                modes = (modes + 1) % 16;
                left = rng.bounded(50);
            }
            const QByteArray datagram = randomDatagram(rng);
            h.winsock.feedReceived(datagram);
            expectedLog += datagram;
            takeSent();
            const QString wrong = outOfRange(w);
            if (!wrong.isEmpty())
                QFAIL(qPrintable(QStringLiteral("after datagram %1: %2").arg(n).arg(wrong)));
        }
        QCOMPARE(h.newLog(), expectedLog);
        QVERIFY(w.YesConnect.Visible());
    }

    void serialChunksInEveryMode()
    {
        Harness h;
        UDP &w = h.udp;
        fillProgram(w);
        h.startOpen();
        QVERIFY(h.mscomm.portOpen());

        QRandomGenerator rng(kSeed + 1);
        QByteArray expectedLog, rest;
        int modes = 0, left = 0;
        for (int n = 0; n < kChunks; ++n) {
            if (left-- == 0) {
                // Bit 0 the listing, 1 the download, 2 RTU framing, 3 the "Via USB" text form of it.
                w.ProgSaveMode = qint16(modes & 1);
                w.ProgDownloadMode = qint16((modes >> 1) & 1);
                w.Check1.setValue(qint16((modes >> 2) & 1));
                w.Check3.setValue(qint16((modes >> 3) & 1));
                if (modes & 3)
                    enterProgram(h, rng);
                modes = (modes + 1) % 16;
                left = rng.bounded(50);
            }
            const QByteArray chunk = randomChunk(rng, rest);
            h.mscomm.feedReceived(chunk);
            w.TMRComm_Timer();
            expectedLog += chunk;
            const QString wrong = outOfRange(w);
            if (!wrong.isEmpty())
                QFAIL(qPrintable(QStringLiteral("after chunk %1: %2").arg(n).arg(wrong)));
        }
        QCOMPARE(h.newLog(), expectedLog);
        QVERIFY(h.mscomm.portOpen());
        QVERIFY(h.boxes.boxes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFuzz)
#include "tst_fuzz.moc"
