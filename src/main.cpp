// SPDX-License-Identifier: MIT
#include "app/window.h"
#include "devicesim.h"
#include "gui/demo.h"
#include "gui/mainwindow.h"
#include "gui/receivepane.h"
#include "platform/qt/qtcommondialog.h"
#include "platform/qt/qtmessagebox.h"
#include "platform/qt/qtmscomm.h"
#include "platform/qt/qtsystem.h"
#include "platform/qt/qtwinsock.h"
#include "ptydevicesim.h"
#include "udp/address.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace
{
/// What the launch options ask for, checked before the window system starts.
struct Launch {
    bool demo = false;
    QByteArray host;                         // first in the address list and selected; empty: the list as loaded
    QByteArray remotePort;                   // empty: the device's port 111
    QList<std::pair<int, QByteArray>> ports; // port N is the device at the path, as VANTREL_COM<N> says
};

/// The launch options, or the reason they cannot be taken. --workdir is applied at once: the settings file and
/// the log are found relative to it.
std::optional<Launch> takeOptions(const QCommandLineParser &parser, const QCommandLineOption &demo,
                                  const QCommandLineOption &host, const QCommandLineOption &remotePort,
                                  const QCommandLineOption &workdir, const QCommandLineOption &com, QString *error)
{
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return {};
    }
    Launch launch;
    launch.demo = parser.isSet(demo);
    if (parser.isSet(host)) {
        launch.host = parser.value(host).trimmed().toLocal8Bit();
        const Address::HostPort entry = Address::split(launch.host);
        if (entry.host.isEmpty() || (entry.hasPort && Address::port(entry.port) == 0)) {
            *error = QStringLiteral("--host takes ADDR or ADDR:PORT (port 1 to 65535): %1").arg(parser.value(host));
            return {};
        }
    }
    if (parser.isSet(remotePort)) {
        launch.remotePort = parser.value(remotePort).trimmed().toLatin1();
        if (Address::port(launch.remotePort) == 0) {
            *error = QStringLiteral("--remote-port takes a port from 1 to 65535: %1").arg(parser.value(remotePort));
            return {};
        }
    }
    for (const QString &value : parser.values(com)) {
        const qsizetype equals = value.indexOf(QLatin1Char('='));
        bool ok = false;
        const int n = value.left(equals).toInt(&ok);
        if (equals < 0 || !ok || n < 1 || n > 32767 || value.mid(equals + 1).isEmpty()) {
            *error = QStringLiteral("--com takes N=PATH (N from 1 to 32767): %1").arg(value);
            return {};
        }
        launch.ports.append({n, QFile::encodeName(value.mid(equals + 1))});
    }
    if (parser.isSet(workdir) && !QDir::setCurrent(parser.value(workdir))) {
        *error = QStringLiteral("--workdir names no folder that can be entered: %1").arg(parser.value(workdir));
        return {};
    }
    return launch;
}

/// --help and --version answer and end the program, wherever they stand among the options.
void answerHelp(QCommandLineParser &parser)
{
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp();
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
}

/// A launch that cannot be taken: the reason and the usage on stderr, status 1.
int refuse(const QCommandLineParser &parser, const QString &error)
{
    std::fprintf(stderr, "vantrel-terminal: %s\n\n%s", qPrintable(error), qPrintable(parser.helpText()));
    return 1;
}
} // namespace

int main(int argc, char *argv[])
{
    ReceivePane::returnFreedMemory();
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.1.3"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Service terminal for the Vantrel counting device."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Run a simulated device on 127.0.0.1 and offer it first in the "
                                                 "address list, and another on a pseudo-terminal as port COM3; "
                                                 "open the wire monitor beside the window and offer a list of saved "
                                                 "commands for them."));
    const QCommandLineOption host(QStringLiteral("host"),
                                  QStringLiteral("Put the device address ADDR (with :PORT, the device's port) first "
                                                 "in the address list and select it."),
                                  QStringLiteral("ADDR[:PORT]"));
    const QCommandLineOption remotePort(QStringLiteral("remote-port"),
                                        QStringLiteral("The device's UDP port, for addresses that name none "
                                                       "(default 111)."),
                                        QStringLiteral("N"));
    const QCommandLineOption workdir(QStringLiteral("workdir"),
                                     QStringLiteral("The folder of terminal.ini and Terminal.log (default: the "
                                                    "working directory)."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption com(QStringLiteral("com"),
                                 QStringLiteral("Port N of the port box is the serial device at PATH (as the "
                                                "environment variable VANTREL_COM<N>); may be repeated."),
                                 QStringLiteral("N=PATH"));
    parser.addOptions({demo, host, remotePort, workdir, com});

    // The options are judged before the window system starts, so that --help, --version, a mistyped option and
    // a bad value answer without a display. Qt's own options (-platform, -style...) are taken out of the
    // arguments only by the application object: an unknown option written with one dash is judged again then.
    std::optional<Launch> launch;
    QString error;
    bool deferred = false;
    {
        QCoreApplication commandLine(argc, argv);
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        if (parser.parse(QCoreApplication::arguments())) {
            answerHelp(parser);
            launch = takeOptions(parser, demo, host, remotePort, workdir, com, &error);
        } else {
            error = parser.errorText();
            const QStringList arguments = QCoreApplication::arguments();
            deferred = std::ranges::all_of(parser.unknownOptionNames(), [&](const QString &name) {
                return std::ranges::none_of(arguments, [&](const QString &argument) {
                    return argument.startsWith(QLatin1String("--") + name);
                });
            });
        }
        if (!launch && !deferred)
            return refuse(parser, error);
    }
    QApplication app(argc, argv);
    if (deferred) {
        if (!parser.parse(QCoreApplication::arguments()))
            return refuse(parser, parser.errorText());
        answerHelp(parser);
        launch = takeOptions(parser, demo, host, remotePort, workdir, com, &error);
        if (!launch)
            return refuse(parser, error);
    }
    // Qt's options are listed only once the application object knows them.
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(app);

    std::unique_ptr<DeviceSim> device;
    std::unique_ptr<PtyDeviceSim> serialDevice;
    if (launch->demo) {
        DeviceSim::Options options;
        options.address = QHostAddress::LocalHost;
        options.port = 0;
        device = std::make_unique<DeviceSim>(options);
        QString error;
        if (!device->start(&error)) {
            qCritical("The simulated device did not start: %s", qPrintable(error));
            return 1;
        }
        // Port 3 is where the port box starts; the window resolves it when the user opens it.
        serialDevice = std::make_unique<PtyDeviceSim>(PtyDeviceSim::Options{});
        if (serialDevice->start(&error)) {
            qputenv("VANTREL_COM3", QFile::encodeName(serialDevice->path()));
        } else {
            std::fprintf(stderr, "vantrel-terminal: no simulated serial device (%s); UDP only\n", qPrintable(error));
            serialDevice.reset();
        }
    }
    // A port named on the command line wins over the demo's.
    for (const auto &[n, path] : launch->ports)
        qputenv("VANTREL_COM" + QByteArray::number(n), path);

    QtWinsock winsock;
    QtMSComm mscomm;
    QtCommonDialog dialog;
    QtMessageBox messageBox;
    QtSystem system;
    UDP udp(Platform{winsock, mscomm, dialog, messageBox, system});
    MainWindow window(udp);
    dialog.setParent(&window);
    messageBox.setParent(&window);

    // A failure of the start-up shows its box here; the window opens all the same.
    udp.Form_Load();
    udp.loadCommandLists();
    if (device) {
        offerDemoDevice(udp, device->port());
        offerDemoCommands(udp);
    }
    if (!launch->host.isEmpty())
        offerAddress(udp, launch->host);
    if (!launch->remotePort.isEmpty())
        udp.tbRemotePort.setText(launch->remotePort);
    window.show();
    // The demo shows what goes over the wire to both simulated devices.
    if (launch->demo)
        window.openMonitor();
    return app.exec();
}
