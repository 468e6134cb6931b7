// SPDX-License-Identifier: MIT
#include "devicesim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace
{

volatile std::sig_atomic_t g_stopRequested = 0;

void requestStop(int)
{
    g_stopRequested = 1;
}

constexpr char kDescription[] = R"(Simulated Vantrel counting device on UDP, for trying the terminal without hardware.

Point the terminal's host at the address below (127.0.0.1 by default) and its
remote port at the port chosen here. Ports below 1024 (the device's own 111)
need root on most systems: pick another one with --port, e.g. --port 5111.

One datagram is one command line; each reply line comes back as its own
datagram ending in CR LF:
  VER                    VER 3.1 SIM
  <n> <statement>        stores BASIC line n (n alone deletes it); OK
                         (ERROR line rejected for the number given with --error-line)
  LIST                   the stored lines in order, one per datagram, then OK
  NEW                    clears the program; OK after --new-delay-ms
  MDC <a>,<command>      MDC <a>: VER 3.1 STATION for VER, else MDC <a>: OK
  UART <x>,<y>           OK
  OPENWR "<name>"        creates or empties a flash-disk file; OK
  WRITE "<hex>"          appends upper-case hex bytes to it; OK
  OPENRD "<name>"        opens a flash-disk file for reading; OK or ERROR
  READ 20"               40 hex digits, then OK; the last short block ends in ND
  CLOSE                  closes the open file; OK
  an empty line          OK
anything else is answered with ERROR and a short reason.)";

int fail(const QString &message)
{
    std::fprintf(stderr, "vantrel-device-sim: %s\n", qPrintable(message));
    return 2;
}

bool toInt(const QString &text, int min, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value >= min;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("vantrel-device-sim");

    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    parser.addPositionalArgument("port", "UDP port to listen on (default 111; 0 picks a free one).", "[port]");
    const QCommandLineOption portOption("port", "UDP port to listen on (default 111; 0 picks a free one).", "port");
    const QCommandLineOption addressOption("address", "Address to listen on: an IP address or \"any\".", "address",
                                           "127.0.0.1");
    const QCommandLineOption newDelayOption("new-delay-ms", "Milliseconds before NEW answers OK.", "ms", "2000");
    const QCommandLineOption loginOption("login", "Ask each new sender for \"Login:\" and \"Password:\" first.");
    const QCommandLineOption diskOption("disk", "Keep the flash disk as files in <folder> (default: in memory).",
                                        "folder");
    const QCommandLineOption errorAfterOption(
        "error-after", "Answer ERROR to the WRITE or READ that follows <n> blocks of a transfer.", "n");
    const QCommandLineOption errorLineOption(
        "error-line", "Answer \"ERROR line rejected\" to BASIC line <n>, to try a failing download.", "n");
    const QCommandLineOption verboseOption({"v", "verbose"}, "Print every datagram received and sent to stderr.");
    parser.addOptions({portOption, addressOption, newDelayOption, loginOption, diskOption, errorAfterOption,
                       errorLineOption, verboseOption});
    parser.process(app);

    DeviceSim::Options options;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1 || (positional.size() == 1 && parser.isSet(portOption)))
        return fail("give the port once, either as an argument or with --port");
    const QString portText = parser.isSet(portOption) ? parser.value(portOption) : positional.value(0, "111");
    int port = 0;
    if (!toInt(portText, 0, &port) || port > 65535)
        return fail(QString("not a UDP port: %1").arg(portText));
    options.port = quint16(port);

    const QString addressText = parser.value(addressOption);
    if (addressText.compare("any", Qt::CaseInsensitive) == 0)
        options.address = QHostAddress::Any;
    else if (!options.address.setAddress(addressText))
        return fail(QString("not an IP address: %1").arg(addressText));

    if (!toInt(parser.value(newDelayOption), 0, &options.newDelayMs))
        return fail(QString("not a delay in milliseconds: %1").arg(parser.value(newDelayOption)));
    if (parser.isSet(errorAfterOption) && !toInt(parser.value(errorAfterOption), 0, &options.errorAfterBlocks))
        return fail(QString("not a block count: %1").arg(parser.value(errorAfterOption)));
    if (parser.isSet(errorLineOption) &&
        (!toInt(parser.value(errorLineOption), 0, &options.errorLine) || options.errorLine > 65535))
        return fail(QString("not a BASIC line number: %1").arg(parser.value(errorLineOption)));
    options.login = parser.isSet(loginOption);
    options.diskFolder = parser.value(diskOption);
    options.verbose = parser.isSet(verboseOption);

    DeviceSim sim(options);
    QString error;
    if (!sim.start(&error)) {
        if (error.startsWith("cannot bind")) {
            const int other = port < 1024 ? port + 5000 : (port < 65535 ? port + 1 : 5111);
            const QString why = port > 0 && port < 1024 ? " (ports below 1024 need root)" : "";
            return fail(QString("%1%2: use --port %3").arg(error, why).arg(other));
        }
        return fail(error);
    }
    std::printf("vantrel-device-sim: listening on UDP %s:%u\n", qPrintable(options.address.toString()),
                unsigned(sim.port()));
    std::fflush(stdout);

    // A signal handler may only set a flag; the event loop looks at it a few times a second.
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, &app, [] {
        if (g_stopRequested)
            QCoreApplication::quit();
    });
    stopPoll.start(100);

    const int status = app.exec();
    sim.stop();
    return status;
}
