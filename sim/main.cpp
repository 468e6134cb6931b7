// SPDX-License-Identifier: MIT
#include "devicesim.h"
#include "ptydevicesim.h"

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

constexpr char kDescription[] = R"(Simulated Vantrel counting device on UDP or on a serial line, for trying the
terminal without hardware.

UDP (the default): point the terminal's host at the address below (127.0.0.1
by default) and its remote port at the port chosen here. Ports below 1024 (the
device's own 111) need root on most systems: pick another one with --port,
e.g. --port 5111. One datagram is one command line; each reply line comes back
as its own datagram ending in CR LF.

Serial line (--pty): the device works one end of a pseudo-terminal and prints
the path of the other end, the terminal's serial port, on stdout; point the
terminal at it with VANTREL_COM3=<path> (or keep a fixed name with --link).
Command lines end in CR, LF or CR LF; each reply line ends in CR LF. A Modbus
RTU frame (station, 'C', byte count, command line with CR LF, CRC-16 low byte
first) to --station is answered by one such frame per reply line; frames for
other stations or with a bad CRC get no answer.

Commands, on both links:
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

/// Runs until SIGINT or SIGTERM; a signal handler may only set a flag, which the event loop looks at a few
/// times a second.
int runUntilStopped(QCoreApplication &app)
{
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, &app, [] {
        if (g_stopRequested)
            QCoreApplication::quit();
    });
    stopPoll.start(100);
    return app.exec();
}

int runUdp(QCoreApplication &app, const DeviceSim::Options &options)
{
    DeviceSim sim(options);
    QString error;
    if (!sim.start(&error)) {
        const int port = options.port;
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
    const int status = runUntilStopped(app);
    sim.stop();
    return status;
}

int runPty(QCoreApplication &app, const PtyDeviceSim::Options &options)
{
    PtyDeviceSim sim(options);
    QString error;
    if (!sim.start(&error))
        return fail(QString("no pseudo-terminal: %1").arg(error));
    // The path alone on stdout, for scripts; the rest for people on stderr.
    std::printf("%s\n", qPrintable(sim.path()));
    std::fflush(stdout);
    const QString link = options.link.isEmpty() ? QString() : QString(", linked as %1").arg(options.link);
    const QString pace = options.baud > 0 ? QString("%1 baud").arg(options.baud) : QString("unpaced");
    std::fprintf(stderr, "vantrel-device-sim: serial line at %s%s, Modbus station %d, %s\n", qPrintable(sim.path()),
                 qPrintable(link), options.station, qPrintable(pace));
    const int status = runUntilStopped(app);
    sim.stop();
    return status;
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
    const QCommandLineOption ptyOption("pty", "Serve a serial line on a pseudo-terminal instead of UDP.");
    const QCommandLineOption linkOption("link", "With --pty: keep a symbolic link <path> to the terminal end.", "path");
    const QCommandLineOption stationOption("station", "With --pty: the Modbus station answered in RTU form.", "n",
                                           "16");
    const QCommandLineOption baudOption("baud", "With --pty: the line's speed, 10 bits a byte (0: unpaced).", "n",
                                        "115200");
    const QCommandLineOption newDelayOption("new-delay-ms", "Milliseconds before NEW answers OK.", "ms", "2000");
    const QCommandLineOption loginOption("login", "Ask each new sender for \"Login:\" and \"Password:\" first.");
    const QCommandLineOption diskOption("disk", "Keep the flash disk as files in <folder> (default: in memory).",
                                        "folder");
    const QCommandLineOption errorAfterOption(
        "error-after", "Answer ERROR to the WRITE or READ that follows <n> blocks of a transfer.", "n");
    const QCommandLineOption errorLineOption(
        "error-line", "Answer \"ERROR line rejected\" to BASIC line <n>, to try a failing download.", "n");
    const QCommandLineOption dropReplyOption(
        "drop-reply", "Never send the <n>th reply line (from 1), as if the network lost it, to try retries.", "n");
    const QCommandLineOption dropEveryOption("drop-every", "Never send one reply line in <k>: the kth, the 2kth...",
                                             "k");
    const QCommandLineOption verboseOption({"v", "verbose"}, "Print everything received and sent to stderr.");
    parser.addOptions({portOption, addressOption, ptyOption, linkOption, stationOption, baudOption, newDelayOption,
                       loginOption, diskOption, errorAfterOption, errorLineOption, dropReplyOption, dropEveryOption,
                       verboseOption});
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
    if (parser.isSet(dropReplyOption) && !toInt(parser.value(dropReplyOption), 1, &options.dropReply))
        return fail(QString("not a reply's number: %1").arg(parser.value(dropReplyOption)));
    if (parser.isSet(dropEveryOption) && !toInt(parser.value(dropEveryOption), 1, &options.dropEvery))
        return fail(QString("not a number of replies: %1").arg(parser.value(dropEveryOption)));
    options.login = parser.isSet(loginOption);
    options.diskFolder = parser.value(diskOption);
    options.verbose = parser.isSet(verboseOption);

    if (!parser.isSet(ptyOption)) {
        for (const QCommandLineOption &serialOnly : {linkOption, stationOption, baudOption})
            if (parser.isSet(serialOnly))
                return fail(QString("--%1 goes with --pty").arg(serialOnly.names().constFirst()));
        return runUdp(app, options);
    }
    if (!positional.isEmpty() || parser.isSet(portOption) || parser.isSet(addressOption))
        return fail("--pty serves no UDP port: leave out the port and --address");
    PtyDeviceSim::Options serial;
    serial.console = options.console();
    serial.link = parser.value(linkOption);
    serial.verbose = options.verbose;
    if (!toInt(parser.value(stationOption), 0, &serial.station) || serial.station > 255)
        return fail(QString("not a Modbus station (0 to 255): %1").arg(parser.value(stationOption)));
    if (!toInt(parser.value(baudOption), 0, &serial.baud))
        return fail(QString("not a baud rate: %1").arg(parser.value(baudOption)));
    return runPty(app, serial);
}
