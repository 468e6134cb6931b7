// SPDX-License-Identifier: MIT
#include "options.h"

#include "exitcode.h"

#include "monitor/trace.h"
#include "udp/address.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

namespace
{
struct VerbRow {
    Options::Verb verb;
    const char *name;
    int minArgs;
    int maxArgs; // -1: any number
    const char *synopsis;
    const char *what;
};

constexpr VerbRow kVerbs[] = {
    {Options::Verb::Ver, "ver", 0, 0, "ver", "prints the device's version line (\"Info\")"},
    {Options::Verb::Send, "send", 1, -1, "send TEXT...",
     "sends each TEXT as a command line, as typed with Enter, and prints the replies\n"
     "until --quiet-ms pass without a byte (a TEXT that starts with - goes after --);\n"
     "with --list FILE, each TEXT is the NAME (or LIST/NAME) of a saved command"},
    {Options::Verb::Put, "put", 1, 2, "put LOCAL [NAME]",
     "writes LOCAL onto the flash disk as NAME (default: LOCAL's file name);\n"
     "--verify reads it back and compares (UDP only)"},
    {Options::Verb::Get, "get", 2, 2, "get NAME LOCAL",
     "reads NAME from the flash disk into LOCAL; an existing LOCAL is replaced only\n"
     "when the whole file has come (UDP only)"},
    {Options::Verb::Download, "download", 1, 1, "download FILE.bas",
     "downloads the program line by line; done when every line is answered OK"},
    {Options::Verb::List, "list", 1, 1, "list FILE.bas",
     "lists the device's program into FILE.bas, replaced only when the whole listing\n"
     "has come"},
    {Options::Verb::New, "new", 0, 0, "new", "clears the device's program (the device takes about 20 s)"},
};

constexpr int kSpeeds[] = {1200, 2400, 4800, 9600, 19200, 115200};

QString absolute(const QString &path)
{
    return QFileInfo(QDir::current(), path).absoluteFilePath();
}

/// A Modbus station: a number from 0 to 255; the device would pass anything else on as it stands.
bool isStation(const QString &text)
{
    bool ok = false;
    const int station = text.trimmed().toInt(&ok);
    return ok && station >= 0 && station <= 255;
}

const VerbRow *findVerb(const QString &name)
{
    const auto row = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                  [&](const VerbRow &r) { return name == QLatin1String(r.name); });
    return row == std::end(kVerbs) ? nullptr : row;
}

/// The verb's arguments, and the options that only make sense with some verbs or links.
QString checkVerb(Options &o, const VerbRow *row, const QStringList &rest, bool verifySet)
{
    if (rest.size() < row->minArgs || (row->maxArgs >= 0 && rest.size() > row->maxArgs))
        return QStringLiteral("usage: vantrel [options] %1").arg(QLatin1String(row->synopsis));
    o.verb = row->verb;
    o.verbName = QLatin1String(row->name);
    switch (o.verb) {
    case Options::Verb::Send:
        o.texts = rest;
        break;
    case Options::Verb::Put:
        o.local = absolute(rest[0]);
        o.name = rest.size() > 1 ? rest[1] : QFileInfo(rest[0]).fileName();
        break;
    case Options::Verb::Get:
        o.name = rest[0];
        o.local = absolute(rest[1]);
        break;
    case Options::Verb::Download:
    case Options::Verb::List:
        o.local = absolute(rest[0]);
        break;
    case Options::Verb::Ver:
    case Options::Verb::New:
        break;
    }
    const bool flash = o.verb == Options::Verb::Put || o.verb == Options::Verb::Get;
    if (flash && o.serialLink())
        return QStringLiteral("%1: the flash disk is reached over UDP only (--host)").arg(o.verbName);
    if (flash && !o.mdc.isEmpty())
        return QStringLiteral("%1: the flash disk cannot be reached while commands go to a Modbus station (--mdc)")
            .arg(o.verbName);
    if (flash && o.name.isEmpty())
        return QStringLiteral("%1: no name for the flash disk").arg(o.verbName);
    if (verifySet && o.verb != Options::Verb::Put)
        return QStringLiteral("--verify goes with put");
    if (!o.listFile.isEmpty() && o.verb != Options::Verb::Send)
        return QStringLiteral("--list goes with send");
    return {};
}
} // namespace

bool Options::isPortName(const QString &name)
{
    bool number = false;
    name.mid(3).toUInt(&number);
    return name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) && number;
}

QString Options::target() const
{
    if (!serialLink())
        return mdc.isEmpty() ? host : QStringLiteral("%1 MDC %2").arg(host, mdc);
    switch (framing) {
    case Framing::Rtu:
        return QStringLiteral("%1 RTU %2").arg(serial, station);
    case Framing::ViaUsb:
        return QStringLiteral("%1 MDC %2").arg(serial, station);
    case Framing::Plain:
        break;
    }
    return serial;
}

namespace CommandLine
{
namespace
{
struct Parser {
    QCommandLineParser parser;
    QCommandLineOption host{QStringLiteral("host"), QStringLiteral("The device over UDP; port 111 unless given."),
                            QStringLiteral("addr[:port]")};
    QCommandLineOption remotePort{QStringLiteral("remote-port"), QStringLiteral("The device's UDP port."),
                                  QStringLiteral("n")};
    QCommandLineOption mdc{QStringLiteral("mdc"),
                           QStringLiteral("Over UDP: wrap each command as \"MDC addr,...\" for a Modbus station."),
                           QStringLiteral("addr")};
    QCommandLineOption serial{QStringLiteral("serial"),
                              QStringLiteral("The device on a serial port: COMn, or the path of the device."),
                              QStringLiteral("COMn|path")};
    QCommandLineOption speed{QStringLiteral("speed"),
                             QStringLiteral("Serial speed: 1200, 2400, 4800, 9600, 19200 or 115200 (default)."),
                             QStringLiteral("baud"), QStringLiteral("115200")};
    QCommandLineOption rtu{QStringLiteral("rtu"),
                           QStringLiteral("Serial: Modbus RTU frames (function C) to station addr, 0 to 255."),
                           QStringLiteral("addr")};
    QCommandLineOption viaUsb{QStringLiteral("via-usb"), QStringLiteral("Serial: \"MDC addr,...\" lines."),
                              QStringLiteral("addr")};
    QCommandLineOption workdir{QStringLiteral("workdir"),
                               QStringLiteral("The folder of \"Terminal.log\" (default: the current folder)."),
                               QStringLiteral("dir")};
    QCommandLineOption noLog{QStringLiteral("no-log"), QStringLiteral("Write no \"Terminal.log\".")};
    QCommandLineOption log{QStringLiteral("log"),
                           QStringLiteral("The run's own log instead of \"Terminal.log\" (a log per device)."),
                           QStringLiteral("file")};
    QCommandLineOption timeout{QStringLiteral("timeout"),
                               QStringLiteral("Seconds to wait for a reply (default 5, new 25); a transfer waits "
                                              "this long for each step."),
                               QStringLiteral("s")};
    QCommandLineOption quietMs{QStringLiteral("quiet-ms"),
                               QStringLiteral("send: a reply is over after this many ms without a byte."),
                               QStringLiteral("ms"), QStringLiteral("500")};
    QCommandLineOption verify{QStringLiteral("verify"), QStringLiteral("put: read the file back and compare.")};
    QCommandLineOption trace{QStringLiteral("trace"),
                             QStringLiteral("Write every unit sent and received to FILE, as JSON Lines, CSV or pcapng "
                                            "by its end: .jsonl, .csv, .pcapng."),
                             QStringLiteral("file")};
    QCommandLineOption list{QStringLiteral("list"),
                            QStringLiteral("send: the names given are saved commands of this command lists file."),
                            QStringLiteral("file")};
    QCommandLineOption waitForDevice{QStringLiteral("wait-for-device"),
                                     QStringLiteral("Serial: a device that goes away is waited for this long to "
                                                    "come back, and the next command goes out once it is."),
                                     QStringLiteral("s")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("Print one JSON object for the run on stdout instead of the replies.")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Runs the Vantrel terminal without a window, for scripts: one verb on one link per run."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({host, remotePort, mdc, serial, speed, rtu, viaUsb, waitForDevice, workdir, noLog, log,
                           timeout, quietMs, verify, list, trace, json});
        parser.addPositionalArgument(QStringLiteral("verb"), QStringLiteral("One of the verbs below."),
                                     QStringLiteral("verb [arguments...]"));
    }
};

/// The link options; an empty text when they make sense together.
QString readLink(const Parser &p, Options &o)
{
    const QCommandLineParser &parser = p.parser;
    if (parser.isSet(p.host) == parser.isSet(p.serial))
        return QStringLiteral("give the link: either --host or --serial");
    for (const QCommandLineOption &once : {p.host, p.serial, p.remotePort, p.mdc, p.rtu, p.viaUsb, p.speed})
        if (parser.values(once).size() > 1)
            return QStringLiteral("--%1 is given more than once").arg(once.names().constFirst());
    if (parser.isSet(p.host)) {
        for (const QCommandLineOption &serialOnly : {p.speed, p.rtu, p.viaUsb, p.waitForDevice})
            if (parser.isSet(serialOnly))
                return QStringLiteral("--%1 goes with --serial").arg(serialOnly.names().constFirst());
        o.host = parser.value(p.host).trimmed();
        const Address::HostPort entry = Address::split(o.host.toUtf8());
        if (entry.host.isEmpty())
            return QStringLiteral("--host: no address");
        if (entry.hasPort && !Address::port(entry.port))
            return QStringLiteral("--host: not a port from 1 to 65535: %1").arg(QString::fromUtf8(entry.port));
        if (parser.isSet(p.remotePort)) {
            if (entry.hasPort)
                return QStringLiteral("give the device's port once: in --host or with --remote-port");
            const QString port = parser.value(p.remotePort).trimmed();
            if (!Address::port(port.toUtf8()))
                return QStringLiteral("--remote-port: not a port from 1 to 65535: %1").arg(port);
            o.host = (o.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + o.host + QLatin1Char(']') : o.host) +
                     QLatin1Char(':') + port;
        }
        if (parser.isSet(p.mdc) && !isStation(o.mdc = parser.value(p.mdc)))
            return QStringLiteral("--mdc: a station from 0 to 255, not %1").arg(o.mdc);
        return {};
    }
    for (const QCommandLineOption &udpOnly : {p.remotePort, p.mdc})
        if (parser.isSet(udpOnly))
            return QStringLiteral("--%1 goes with --host").arg(udpOnly.names().constFirst());
    o.serial = parser.value(p.serial).trimmed();
    if (o.serial.isEmpty())
        return QStringLiteral("--serial: no port");
    if (!Options::isPortName(o.serial))
        o.serial = absolute(o.serial);
    bool ok = false;
    o.speed = parser.value(p.speed).toInt(&ok);
    if (!ok || std::find(std::begin(kSpeeds), std::end(kSpeeds), o.speed) == std::end(kSpeeds))
        return QStringLiteral("--speed: one of 1200, 2400, 4800, 9600, 19200, 115200, not %1")
            .arg(parser.value(p.speed));
    if (parser.isSet(p.waitForDevice)) {
        const double seconds = parser.value(p.waitForDevice).toDouble(&ok);
        if (!ok || seconds <= 0 || seconds > 86400)
            return QStringLiteral("--wait-for-device: seconds above 0, not %1").arg(parser.value(p.waitForDevice));
        o.deviceWaitMs = qMax(1, int(seconds * 1000));
    }
    if (parser.isSet(p.rtu) && parser.isSet(p.viaUsb))
        return QStringLiteral("give one of --rtu and --via-usb");
    for (const QCommandLineOption *framing : {&p.rtu, &p.viaUsb}) {
        if (!parser.isSet(*framing))
            continue;
        o.framing = framing == &p.rtu ? Options::Framing::Rtu : Options::Framing::ViaUsb;
        o.station = parser.value(*framing).trimmed();
        if (!isStation(o.station))
            return QStringLiteral("--%1: a station from 0 to 255, not %2")
                .arg(framing->names().constFirst(), o.station);
    }
    return {};
}

/// The folder, the timing and the output options.
QString readRun(const Parser &p, Options &o, bool newVerb)
{
    const QCommandLineParser &parser = p.parser;
    if (parser.isSet(p.workdir) + parser.isSet(p.noLog) + parser.isSet(p.log) > 1)
        return QStringLiteral("give one of --workdir, --log and --no-log: each says where the log goes");
    if (parser.isSet(p.workdir))
        o.workdir = absolute(parser.value(p.workdir));
    if (parser.isSet(p.log) && (o.logFile = parser.value(p.log)).isEmpty())
        return QStringLiteral("--log: no file");
    if (!o.logFile.isEmpty())
        o.logFile = absolute(o.logFile);
    o.noLog = parser.isSet(p.noLog);
    bool ok = false;
    o.timeoutMs = newVerb ? 25000 : 5000;
    if (parser.isSet(p.timeout)) {
        const double seconds = parser.value(p.timeout).toDouble(&ok);
        if (!ok || seconds <= 0 || seconds > 86400)
            return QStringLiteral("--timeout: seconds above 0, not %1").arg(parser.value(p.timeout));
        o.timeoutMs = qMax(1, int(seconds * 1000));
    }
    if (parser.isSet(p.list))
        o.listFile = absolute(parser.value(p.list));
    o.quietMs = parser.value(p.quietMs).toInt(&ok);
    if (!ok || o.quietMs < 0)
        return QStringLiteral("--quiet-ms: milliseconds, not %1").arg(parser.value(p.quietMs));
    if (parser.isSet(p.trace) && !Monitor::formatOf(o.trace = absolute(parser.value(p.trace))))
        return QStringLiteral("--trace: a file ending in .jsonl, .csv or .pcapng, not %1").arg(parser.value(p.trace));
    return {};
}
} // namespace

Parsed parse(const QStringList &arguments, Options &options, QString &error)
{
    Parser p;
    options.json = arguments.contains(QStringLiteral("--json"));
    if (!p.parser.parse(arguments)) {
        error = p.parser.errorText();
        return Parsed::Usage;
    }
    if (p.parser.isSet(QStringLiteral("help")) || p.parser.isSet(QStringLiteral("help-all")))
        return Parsed::Help;
    if (p.parser.isSet(QStringLiteral("version")))
        return Parsed::Version;
    options.json = p.parser.isSet(p.json);
    const QStringList positional = p.parser.positionalArguments();
    if (positional.isEmpty()) {
        error = QStringLiteral("no verb");
        return Parsed::Usage;
    }
    options.verbName = positional.first();
    const VerbRow *verb = findVerb(options.verbName);
    if (!verb) {
        error = QStringLiteral("unknown verb: %1").arg(options.verbName);
        return Parsed::Usage;
    }
    error = readLink(p, options);
    if (error.isEmpty())
        error = readRun(p, options, verb->verb == Options::Verb::New);
    if (error.isEmpty())
        error = checkVerb(options, verb, positional.mid(1), p.parser.isSet(p.verify));
    options.verify = p.parser.isSet(p.verify);
    return error.isEmpty() ? Parsed::Run : Parsed::Usage;
}

QString helpText()
{
    QString text = Parser().parser.helpText();
    text += QStringLiteral("\nVerbs (one per run):\n");
    for (const VerbRow &row : kVerbs)
        text += QStringLiteral("  %1  %2\n")
                    .arg(QLatin1String(row.synopsis), -20)
                    .arg(QString::fromLatin1(row.what).replace(
                        QLatin1Char('\n'), QStringLiteral("\n%1").arg(QString(24, QLatin1Char(' ')))));
    text += QStringLiteral("\nReplies go to stdout as the device sent them; progress and errors to stderr.\n"
                           "\nExit status:\n");
    text += ExitCode::table();
    return text;
}
} // namespace CommandLine
