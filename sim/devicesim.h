// SPDX-License-Identifier: MIT
#pragma once

#include "deviceconsole.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QUdpSocket;

/// A counting device on UDP. One datagram in is one command line for its console (DeviceConsole); every
/// reply line goes back to the sender as a datagram of its own, ending in CR LF.
class DeviceSim : public QObject
{
    Q_OBJECT
public:
    struct Options {
        QHostAddress address = QHostAddress::LocalHost;
        quint16 port = 111;        // 0 = any free port
        int newDelayMs = 2000;     // delay before NEW answers OK
        bool login = false;        // ask "Login:" then "Password:" first
        QString diskFolder = {};   // empty = flash disk in memory
        int errorAfterBlocks = -1; // answer ERROR to the WRITE/READ after this many blocks (-1 never)
        int errorLine = -1;        // answer ERROR to this BASIC line number (-1 never)
        bool verbose = false;      // log received/sent to stderr
        int dropReply = 0;         // the Nth reply line is never sent (0: none)
        int dropEvery = 0;         // one reply line in K is never sent (0: none)

        DeviceConsole::Options console() const
        {
            return {newDelayMs, login, diskFolder, errorAfterBlocks, errorLine, dropReply, dropEvery};
        }
    };

    explicit DeviceSim(Options options, QObject *parent = nullptr);
    ~DeviceSim() override;

    /// Binds the UDP socket (and creates diskFolder); false with a reason in *error when that fails.
    bool start(QString *error = nullptr);
    /// The bound port; 0 while not started.
    quint16 port() const;
    const Options &options() const { return m_options; }
    /// Closes the socket and any open flash file; pending NEW answers are dropped. Program and disk stay.
    void stop();

private:
    void readPending();
    void reply(const QHostAddress &address, quint16 port, QByteArrayView line);

    Options m_options;
    DeviceConsole m_console;
    QUdpSocket *m_socket = nullptr;
    QByteArray m_rx;
    QByteArray m_tx;
};
