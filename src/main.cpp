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

#include <QApplication>
#include <QCommandLineParser>

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
                                                 "address list."));
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
