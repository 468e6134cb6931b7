// SPDX-License-Identifier: MIT
// The application shell: start-up, the log's faults, Clear and unload, and the status line's words.
#include "harness.h"
#include "mounts.h"

#include <QTest>

#include <optional>

class TestApp : public QObject
{
    Q_OBJECT
private slots:
    void startState()
    {
        Harness h;
        h.udp.Form_Load();
        UDP &w = h.udp;
        QCOMPARE(w.vbalProgressBar1.Text(), QByteArray("NO FILE"));
        QCOMPARE(w.tbRemotePort.Text(), QByteArray("111"));
        QCOMPARE(w.PortOpened + w.FlashWriting + w.FlashReading + w.FlashLastBlock + w.HistRecalled + w.ProgSaveMode +
                     w.ProgDownloadMode,
                 0);
        QVERIFY(w.RxText.isEmpty() && w.NoConnect.Visible() && !w.YesConnect.Visible() && !w.cbSendData.Enabled());
        QVERIFY(!w.Frame2.Enabled() && !w.Frame5.Enabled() && !w.Frame6.Enabled() && !w.TMRComm.Enabled());
        QCOMPARE(w.Option6.Value(), qint16(1));
        QCOMPARE(w.tbSendData.Text(), QByteArray(UDP::kSendDataHint));
        QCOMPARE(w.focus(), &w.tbSendData);
        QVERIFY(h.boxes.boxes.isEmpty());
        QCOMPARE(h.system.randomized, 1);
    }

    void logFaults_data()
    {
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<QString>("box"); // its title, then a word of its text
        const QString full = QStringLiteral("Error#61: No space left on device");
        QTest::newRow("a folder in the log's place")
            << QByteArray("folder") << QStringLiteral("Error#75: Terminal.log");
        // What the system said, with the full name (%1: the folder), never "File not found".
        QTest::newRow("a read-only folder")
            << QByteArray("read-only") << QStringLiteral("Error#70: Read-only file system: %1/Terminal.log");
        // Opening a FIFO would wait for a reader: start-up would never end.
        QTest::newRow("a FIFO in the log's place")
            << QByteArray("fifo") << QStringLiteral("Error#75: not a regular file");
        QTest::newRow("disk fills during the run") << QByteArray("fills") << full;
        QTest::newRow("log on /dev/full") << QByteArray("full") << full;
    }
    void logFaults()
    {
        QFETCH(QByteArray, setup);
        QFETCH(QString, box);
        Harness h;
        const QString small = h.dir.filePath(QStringLiteral("small"));
        std::optional<TestMount> disk, readOnly;
        std::optional<TestFifo> fifo;
        if (setup == "read-only") {
            const QString folder = h.dir.filePath(QStringLiteral("ro"));
            if (!QDir().mkpath(folder) || !readOnly.emplace(folder, folder).ok())
                QSKIP(qPrintable(readOnly ? readOnly->error() : QStringLiteral("cannot make a folder")));
            QVERIFY(QDir::setCurrent(folder));
            box = box.arg(folder);
        } else if (setup == "folder") {
            QVERIFY(QDir(h.dir.path()).mkdir(QStringLiteral("Terminal.log")));
        } else if (setup == "fifo") {
            QVERIFY(fifo.emplace(h.dir.filePath(QStringLiteral("Terminal.log"))).ok());
            if (fifo->path() != h.dir.filePath(QStringLiteral("Terminal.log")))
                QSKIP(kNoFifoInFolders);
        } else if (setup == "full") {
            if (!QFile::exists(QStringLiteral("/dev/full")))
                QSKIP("this system has no /dev/full");
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), QStringLiteral("Terminal.log")));
        } else {
            disk.emplace(small, 64 * 1024);
            if (!disk->ok())
                QSKIP(qPrintable(disk->error()));
            QVERIFY(QDir::setCurrent(small));
        }
        h.udp.Form_Load();
        if (disk) {
            QVERIFY(h.boxes.boxes.isEmpty());
            QVERIFY(fillDisk(small));
        }
        // A log that never opened: the status line says so for the whole run.
        QCOMPARE(h.udp.statusLog(), disk || setup == "full" ? QString() : QStringLiteral("running without a log"));
        // A file opened later may take the number the log would have had; log lines must not land in it.
        const qint16 n = h.udp.files.FreeFile();
        h.udp.files.openOutput(n, h.dir.filePath(QStringLiteral("other.txt")));
        h.udp.logLine("typed");
        h.udp.files.close(n);
        QCOMPARE(h.file(QStringLiteral("other.txt")), QByteArray());
        h.connect();
        // Far more than the page the log has left.
        QByteArray received;
        for (int i = 0; i < 100; ++i) {
            const QByteArray datagram = QByteArray::number(i).rightJustified(99, '.') + '\n';
            h.winsock.feedReceived(datagram);
            received += datagram;
        }
        // Nothing received on either link is lost for want of the log, and sends go on.
        h.udp.Command1_Click(); // the serial port opens only with the link down
        h.udp.BTNOpenCom_Click();
        h.mscomm.feedReceived("VER 3.2\r\n");
        h.udp.TMRComm_Timer();
        received += "VER 3.2\r\n";
        QCOMPARE(h.udp.tbReceiveData.Text(), received);
        h.udp.tbSendData.setText("VER");
        h.udp.Command6_Click();
        QCOMPARE(h.mscomm.written(), QByteArrayList{"VER\r\n"});
        // One box names the cause.
        QCOMPARE(h.boxes.boxes.size(), 1);
        QCOMPARE(h.boxes.boxes[0].icon, MessageBox::Critical);
        const QString title = box.section(QStringLiteral(": "), 0, 0), words = box.section(QStringLiteral(": "), 1);
        QCOMPARE(h.boxes.boxes[0].title, title);
        QVERIFY2(h.boxes.boxes[0].text.contains(words), qPrintable(h.boxes.boxes[0].text));
        if (disk) {
            // What reached the disk is the raw stream, cut where the disk filled.
            QFile f(QDir(small).filePath(QStringLiteral("Terminal.log")));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray log = f.readAll();
            const QByteArray expected = "START Vantrel V3.0\r\n06.12.2026 10:00:00\r\ntyped\r\n" + received;
            QVERIFY(log.size() < expected.size());
            QCOMPARE(log, expected.left(log.size()));
        }
    }

    void clearAndUnload()
    {
        Harness h;
        h.udp.Form_Load();
        const QByteArray log = h.file(QStringLiteral("Terminal.log"));
        h.udp.tbReceiveData.append("VER 3.1\r\n");
        h.udp.Command15.SetFocus();
        h.udp.Command2_Click();
        QCOMPARE(h.udp.tbReceiveData.Text(), QByteArray());
        QCOMPARE(h.udp.focus(), &h.udp.tbSendData);
        QCOMPARE(h.file(QStringLiteral("Terminal.log")), log);
        h.udp.Form_Unload();
        QCOMPARE(h.mscomm.closeCount, 0);
        h.mscomm.setPortOpen(true);
        h.udp.Form_Unload();
        QVERIFY(!h.mscomm.portOpen());
        QCOMPARE(h.mscomm.closeCount, 1);
    }

    /// The status line after a few steps, clicks and keys going through the window's wiring: C Connect to
    /// 127.0.0.1:5111, D Disconnect, O Open (the port box's COM3 in RTU framing), E Enter on "VER", R a reply,
    /// T twelve seconds, the buttons 3 (Send), 8 (Init Port), 9 (">>") and X, + Add on an empty box, and the boxes
    /// below.
    void statusLine_data()
    {
        QTest::addColumn<QByteArray>("steps");
        QTest::addColumn<QString>("status"); // the whole line, or where it holds no " | " the reason alone
        const QString udp = QStringLiteral("UDP 127.0.0.1:5111 from 10.20.30.40:6000 | ");
        const QString idle = QStringLiteral("0 B sent, 0 B received");
        QTest::newRow("start") << QByteArray() << "not connected | " + idle;
        QTest::newRow("Connect") << QByteArray("C") << udp + idle;
        QTest::newRow("a command awaits its reply")
            << QByteArray("CET") << udp + "no reply for 12 s | 5 B sent, 0 B received";
        QTest::newRow("the reply came") << QByteArray("CETR") << udp + "5 B sent, 9 B received";
        QTest::newRow("Disconnect") << QByteArray("CETD") << "not connected | 5 B sent, 0 B received";
        QTest::newRow("Open") << QByteArray("O") << "COM3 = /dev/fake3, 115200, RTU to station 16 | " + idle;
        QTest::newRow("Enter, no link") << QByteArray("E") << QStringLiteral("not connected: Connect or Open first");
        QTest::newRow("the next click clears the reason") << QByteArray("EC") << QString();
        QTest::newRow("Open with the link up")
            << QByteArray("CO") << QStringLiteral("the link is up: Disconnect first");
        QTest::newRow("Init Port without Via USB")
            << QByteArray("O8") << QStringLiteral("\"Init Port\" sends only with \"Via USB\" ticked");
        QTest::newRow("Send on the serial port")
            << QByteArray("O3")
            << QStringLiteral("the flash disk is reached over UDP only: Close the port, then Connect");
        QTest::newRow(">> with no download")
            << QByteArray("C9") << QStringLiteral("no download under way: \">>\" sends the next line of one");
        QTest::newRow("X with no download")
            << QByteArray("X") << QStringLiteral("no download under way: nothing to stop");
        QTest::newRow("Add with an empty box")
            << QByteArray("+") << QStringLiteral("no device address: type one in the Host box");
        // The mode the next send uses, as soon as a box that decides it changes: r the RTU box, v Via USB, e Eth to
        // MODBUS, each toggled.
        const QString port = QStringLiteral("COM3 = /dev/fake3, 115200, ");
        QTest::newRow("RTU box cleared") << QByteArray("Or") << port + "plain lines | " + idle;
        QTest::newRow("Via USB ticked") << QByteArray("Ov") << port + "MDC to station 16 | " + idle;
        QTest::newRow("Via USB cleared") << QByteArray("Ovv") << port + "RTU to station 16 | " + idle;
        QTest::newRow("Eth to MODBUS ticked") << QByteArray("Ce") << udp.chopped(3) + ", MDC to station 16 | " + idle;
    }
    void statusLine()
    {
        QFETCH(QByteArray, steps);
        QFETCH(QString, status);
        Harness h;
        UDP &w = h.udp;
        w.Form_Load();
        w.tbLocalPort.setText("6000");
        w.ComboRemoteIP.setText("127.0.0.1:5111");
        w.Check1.setValue(1);
        // What the window shows: the status line as the model last told it.
        struct Told : ElementObserver {
            UDP &w;
            QString status = w.statusText();
            explicit Told(UDP &udp) : w(udp) {}
            void changed(Element &, Prop) override {}
            void appended(TextBox &, const QByteArray &) override {}
            void statusChanged() override { status = w.statusText(); }
        } told(w);
        w.setObserver(&told);
        const QByteArrayList buttons =
            QByteArray("cbBind,Command1,BTNOpenCom,Command3,Command8,Command9,Command14,Add_ip").split(',');
        for (const char step : steps) {
            qint16 enter = 13;
            CheckBox *box = step == 'r' ? &w.Check1 : step == 'e' ? &w.Check2 : step == 'v' ? &w.Check3 : nullptr;
            if (box) {
                box->setValue(box->Value() == 1 ? 0 : 1);
                box->Click();
                continue;
            }
            switch (step) {
            case 'E':
                w.tbSendData.setText("VER");
                w.tbSendData.KeyPress(enter);
                break;
            case 'R':
                h.winsock.feedReceived("VER 3.1\r\n");
                break;
            case 'T':
                h.system.clock += 12'500;
                told.statusChanged(); // the window counts the silence each second
                break;
            case '+':
                w.ComboRemoteIP.setText({});
                [[fallthrough]];
            default:
                w.find(buttons[QByteArray("CDO389X+").indexOf(step)])->Click();
            }
        }
        QCOMPARE(status.contains(QLatin1String(" | ")) ? w.statusText() : w.statusReason(), status);
        QCOMPARE(told.status, w.statusText());
        w.setObserver(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
