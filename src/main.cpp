// SPDX-License-Identifier: MIT
#include "app/window.h"
#include "devicesim.h"
#include "gui/demo.h"
#include "gui/mainwindow.h"
#include "platform/qt/qtcommondialog.h"
#include "platform/qt/qtmessagebox.h"
#include "platform/qt/qtmscomm.h"
#include "platform/qt/qtsystem.h"
#include "platform/qt/qtwinsock.h"
#include "ptydevicesim.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.1.3"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Service terminal for the Vantrel counting device."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Run a simulated device on 127.0.0.1 and offer it first in the "
                                                 "address list, and another on a pseudo-terminal as port COM3."));
    parser.addOption(demo);
    {
        // --help and --version answer without a display: they are looked for before the window system starts.
        QCoreApplication commandLine(argc, argv);
        parser.parse(QCoreApplication::arguments());
        if (parser.isSet(QStringLiteral("help")))
            parser.showHelp();
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
    }
    QApplication app(argc, argv);
    parser.process(app);

    std::unique_ptr<DeviceSim> device;
    std::unique_ptr<PtyDeviceSim> serialDevice;
    if (parser.isSet(demo)) {
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
    if (device)
        offerDemoDevice(udp, device->port());
    window.show();
    return app.exec();
}
