// SPDX-License-Identifier: MIT
// Console flood: how many 64-byte datagrams a second the terminal handles (logged, shown in the receive
// pane), against a bare receiver that only counts them, with and without the window, with an empty pane
// and with 10 MB already in it; then a steady 20,000 a second for 10 s with the window attached; then 100 MB of
// console lines appended to the pane with the window attached, for the memory the pane costs. With --soak MINUTES
// instead: 5,000 datagrams a second for that long with the window attached, the resident memory each minute, and at
// the end the datagrams sent against those handled.
#include "benchsupport.h"

#include "app/window.h"
#include "gui/mainwindow.h"
#include "platform/platform.h"
#include "platform/qt/qtmscomm.h"
#include "platform/qt/qtwinsock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <cstdio>
#include <memory>

namespace
{

struct Result {
    int sent = 0;
    qint64 handled = 0;
    double seconds = 0;
    double rate() const { return seconds > 0 ? handled / seconds : 0; }
};

/// Floods `port` and runs the event loop until the sender is done and nothing arrived for 300 ms.
/// `handled` counts what the receiver has handled; the time runs to the last datagram handled.
Result flood(quint16 port, int size, int count, int rate, const std::function<qint64()> &handled)
{
    UdpFlood sender(port, size);
    QElapsedTimer clock;
    const qint64 before = handled();
    qint64 seen = before;
    qint64 lastChange = 0;
    clock.start();
    sender.start(count, rate);
    runUntil(
        [&] {
            const qint64 now = handled();
            if (now != seen) {
                seen = now;
                lastChange = clock.elapsed();
            }
            return sender.finished() && clock.elapsed() - lastChange > 300;
        },
        600000);
    sender.wait();
    return {sender.sent(), seen - before, lastChange / 1000.0};
}

void print(const char *what, const Result &r)
{
    std::printf("%-44s sent %7d  handled %7lld  lost %6lld  %9.0f datagrams/s  peak %.1f MiB\n", what, r.sent,
                r.handled, r.sent - r.handled, r.rate(), peakMemoryMiB());
    std::fflush(stdout);
}

/// The window model on the real socket, connected to 127.0.0.1, counting the datagrams it handles.
struct Terminal {
    explicit Terminal(const QString &folder)
    {
        QDir::setCurrent(folder);
        udp.Form_Load();
        udp.ComboRemoteIP.setText("127.0.0.1");
        udp.tbLocalPort.setText("0");
        udp.cbBind_Click();
        winsock.setArrivalHandler([this] {
            udp.Winsock1_DataArrival();
            ++handled;
        });
    }
    QtWinsock winsock;
    QtMSComm mscomm;
    BenchDialog dialog;
    BenchMessageBox boxes;
    BenchSystem system;
    UDP udp{Platform{winsock, mscomm, dialog, boxes, system}};
    qint64 handled = 0;
};

/// Hours of a talkative device in minutes: memory must settle once the receive pane holds its fill.
void soak(Terminal &terminal, int minutes)
{
    constexpr int kRate = 5000, kSize = 64;
    MainWindow window(terminal.udp);
    window.show();
    runUntil([] { return false; }, 200);
    std::printf("soak: %d datagrams of %d bytes a second for %d min, the view attached\n", kRate, kSize, minutes);
    std::printf("    minute  0: VmRSS %7.1f MiB\n", residentMemoryMiB());
    std::fflush(stdout);
    const qint64 before = terminal.handled;
    UdpFlood sender(terminal.winsock.localPort(), kSize);
    QElapsedTimer clock;
    clock.start();
    sender.start(kRate * 60 * minutes, kRate);
    for (int minute = 1; minute <= minutes; ++minute) {
        runUntil([&] { return clock.elapsed() >= minute * 60000LL; }, 61000);
        std::printf("    minute %2d: VmRSS %7.1f MiB, %lld datagrams handled\n", minute, residentMemoryMiB(),
                    terminal.handled - before);
        std::fflush(stdout);
    }
    runUntil([&] { return sender.finished() && terminal.handled - before >= sender.sent(); }, 10000);
    sender.wait();
    const qint64 handled = terminal.handled - before;
    std::printf("    sent %d datagrams, handled %lld, lost %lld; pane holds %lld bytes\n", sender.sent(), handled,
                sender.sent() - handled, qint64(terminal.udp.tbReceiveData.Text().size()));
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")).toUtf8());
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Console flood benchmark: prints figures, never fails."));
    parser.addHelpOption();
    QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Datagrams per flood."), QStringLiteral("n"),
                                   QStringLiteral("100000"));
    QCommandLineOption rateOption(QStringLiteral("steady-rate"), QStringLiteral("Datagrams a second, steady phase."),
                                  QStringLiteral("n"), QStringLiteral("20000"));
    QCommandLineOption secondsOption(QStringLiteral("steady-seconds"), QStringLiteral("Length of the steady phase."),
                                     QStringLiteral("s"), QStringLiteral("10"));
    QCommandLineOption totalOption(QStringLiteral("console-mb"),
                                   QStringLiteral("MB of console text appended in the last phase."),
                                   QStringLiteral("n"), QStringLiteral("100"));
    QCommandLineOption paneOption(QStringLiteral("pane-mb"), QStringLiteral("MB in the pane before a flood."),
                                  QStringLiteral("n"), QStringLiteral("10"));
    QCommandLineOption soakOption(QStringLiteral("soak"), QStringLiteral("Minutes of steady console datagrams, alone."),
                                  QStringLiteral("minutes"));
    parser.addOptions({countOption, rateOption, secondsOption, paneOption, totalOption, soakOption});
    parser.process(app);
    if (parser.isSet(soakOption)) {
        QTemporaryDir folder;
        Terminal terminal(folder.path());
        soak(terminal, qMax(1, parser.value(soakOption).toInt()));
        return 0;
    }
    const int count = parser.value(countOption).toInt();
    const int steadyRate = parser.value(rateOption).toInt();
    const int steadySeconds = parser.value(secondsOption).toInt();
    const int paneBytes = parser.value(paneOption).toInt() * 1000 * 1000;
    const qint64 consoleBytes = parser.value(totalOption).toLongLong() * 1000 * 1000;
    const int size = 64;

    QTemporaryDir folder;
    std::printf("console flood: %d datagrams of %d bytes to 127.0.0.1\n", count, size);

    // The raw limit: a receiver with the same socket buffer that only counts.
    QUdpSocket bare;
    bare.bind(QHostAddress::LocalHost, 0);
    bare.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    qint64 bareCount = 0;
    QObject::connect(&bare, &QUdpSocket::readyRead, [&] {
        char buffer[2048];
        while (bare.hasPendingDatagrams())
            if (bare.readDatagram(buffer, sizeof buffer) >= 0)
                ++bareCount;
    });
    const Result raw = flood(bare.localPort(), size, count, 0, [&] { return bareCount; });
    print("bare receiver (raw limit)", raw);

    Terminal terminal(folder.path());
    const quint16 port = terminal.winsock.localPort();
    auto handled = [&] { return terminal.handled; };
    const Result model = flood(port, size, count, 0, handled);
    print("model + socket", model);

    terminal.udp.Command2_Click();
    auto window = std::make_unique<MainWindow>(terminal.udp);
    window->show();
    runUntil([] { return false; }, 200);
    const Result viewEmpty = flood(port, size, count, 0, handled);
    print("model + socket + view, empty pane", viewEmpty);

    terminal.udp.Command2_Click();
    QByteArray line(size, 'y');
    line[size - 2] = '\r';
    line[size - 1] = '\n';
    QByteArray ten;
    ten.reserve(paneBytes);
    while (ten.size() + size <= paneBytes)
        ten += line;
    terminal.udp.tbReceiveData.append(ten);
    ten.clear();
    runUntil([] { return false; }, 500);
    const Result viewFull = flood(port, size, count, 0, handled);
    print("model + socket + view, 10 MB in the pane", viewFull);

    const Result steady = flood(port, size, steadyRate * steadySeconds, steadyRate, handled);
    QByteArray what =
        QByteArray::number(steadyRate) + "/s for " + QByteArray::number(steadySeconds) + " s, view, full pane";
    print(what.constData(), steady);

    // Hours of console output in one go: 64 KB of lines at a time, each batch shown as the next frame would.
    terminal.udp.Command2_Click();
    QByteArray batch;
    while (batch.size() + size <= 64 * 1000)
        batch += line;
    QElapsedTimer clock;
    clock.start();
    qint64 appended = 0;
    while (appended < consoleBytes) {
        terminal.udp.tbReceiveData.append(batch);
        terminal.udp.tbReceiveData.caretToEnd();
        window->flush();
        QCoreApplication::processEvents();
        appended += batch.size();
    }
    const double seconds = clock.elapsed() / 1000.0;
    std::printf("%-44s %lld MB in %.1f s  %7.1f MB/s  pane %lld bytes  peak %.1f MiB\n", "console text, view attached",
                appended / 1000000, seconds, appended / 1e6 / seconds, qint64(terminal.udp.tbReceiveData.Text().size()),
                peakMemoryMiB());

    std::printf("\nmodel / raw: %.2f   view (empty) / raw: %.2f   view 10 MB / view empty: %.2f\n",
                model.rate() / raw.rate(), viewEmpty.rate() / raw.rate(), viewFull.rate() / viewEmpty.rate());
    std::printf("steady phase lost %lld of %d\n", steady.sent - steady.handled, steady.sent);
    std::printf("pane holds %lld bytes; foreign datagrams dropped %llu\n",
                qint64(terminal.udp.tbReceiveData.Text().size()),
                static_cast<unsigned long long>(terminal.winsock.droppedCount()));
    return 0;
}
