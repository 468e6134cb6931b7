// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <map>

class QUdpSocket;

/// A counting device on UDP: its console (VER, BASIC program lines, LIST, NEW, MDC, UART), the optional
/// login prompts and the flash disk. One datagram in is one command line; every reply line goes back to the
/// sender as a datagram of its own, ending in CR LF.
class DeviceSim : public QObject
{
    Q_OBJECT
public:
    struct Options {
        QHostAddress address = QHostAddress::LocalHost;
        quint16 port = 111;        // 0 = any free port
        int newDelayMs = 2000;     // delay before NEW answers OK
        bool login = false;        // ask "Login:" then "Password:" first
        QString diskFolder;        // empty = flash disk in memory
        int errorAfterBlocks = -1; // answer ERROR to the WRITE/READ after this many blocks (-1 never)
        bool verbose = false;      // log received/sent to stderr
    };

    explicit DeviceSim(Options options, QObject *parent = nullptr);
    ~DeviceSim() override;

    /// Binds the UDP socket (and creates diskFolder); false with a reason in *error when that fails.
    bool start(QString *error = nullptr);
    /// The bound port; 0 while not started.
    quint16 port() const;
    /// Closes the socket and any open flash file; pending NEW answers are dropped. Program and disk stay.
    void stop();

private:
    struct Peer {
        QHostAddress address;
        quint16 port = 0;
    };
    enum class OpenMode { None, Write, Read };

    void readPending();
    void handle(QByteArrayView datagram, const Peer &peer);
    void reply(const Peer &peer, QByteArrayView line);
    bool passLogin(const Peer &peer);

    void programLine(QByteArrayView line, const Peer &peer);
    void list(const Peer &peer);
    void newProgram(const Peer &peer);
    void mdc(QByteArrayView arg, const Peer &peer);

    void openWrite(QByteArrayView arg, const Peer &peer);
    void openRead(QByteArrayView arg, const Peer &peer);
    void write(QByteArrayView arg, const Peer &peer);
    void read(QByteArrayView arg, const Peer &peer);
    bool injectedFailure(const Peer &peer);
    void closeFile();
    QString diskPath(const QByteArray &name) const;

    Options m_options;
    QUdpSocket *m_socket = nullptr;
    quint64 m_generation = 0; // bumped by stop(), so that a NEW answer armed before it is dropped
    QByteArray m_rx;
    QByteArray m_tx;

    QHash<QHostAddress, int> m_loginStage; // prompts answered per sender: 0 name, 1 password, 2 accept, 3 in
    std::map<int, QByteArray> m_program;   // line number -> statement

    QHash<QByteArray, QByteArray> m_disk; // the flash disk when no folder is given
    OpenMode m_openMode = OpenMode::None;
    QByteArray m_openName;
    QFile m_writeFile; // the open write file when the disk is a folder
    qsizetype m_written = 0;
    QByteArray m_readData;
    qsizetype m_readPos = 0;
    int m_blocks = 0; // WRITE/READ blocks answered since the file was opened
};
