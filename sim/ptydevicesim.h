// SPDX-License-Identifier: MIT
#pragma once

#include "deviceconsole.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

/// A counting device on a serial line, played on a pseudo-terminal: the terminal opens the terminal end
/// (path()) as its serial port, the device works the other end. It answers what the terminal sends, with
/// the same console (DeviceConsole) as the UDP device:
/// - plain command lines ending in CR, LF or CR LF (the "MDC a,cmd" form among them), each reply line
///   ending in CR LF;
/// - Modbus RTU request frames (address, function 'C', byte count n, n bytes of command line, CRC-16 low
///   byte first) addressed to its station: each reply line, CR LF included, goes back as a frame of the
///   same shape. Frames for another station or with a bad CRC get no answer.
/// Bytes that start with the station address (or a control character) followed by 'C' are a frame once
/// the announced length arrived and its CRC holds; everything else is text up to a line end. What it sends
/// leaves at the chosen baud rate, so that a reader polling every 20 ms sees the chunks a real line gives.
class PtyDeviceSim : public QObject
{
    Q_OBJECT
public:
    struct Options {
        DeviceConsole::Options console = {};
        int station = 16;     // the Modbus address answered in RTU form, 0 to 255
        int baud = 115200;    // output pace, 10 bits a byte; 0 = as fast as the pseudo-terminal takes it
        QString link = {};    // a symbolic link kept to the terminal end while running; empty = none
        bool verbose = false; // log received/sent to stderr
    };

    explicit PtyDeviceSim(Options options, QObject *parent = nullptr);
    ~PtyDeviceSim() override;

    /// Opens the pseudo-terminal pair (and the link, and the disk folder); false with a reason in *error.
    bool start(QString *error = nullptr);
    /// The terminal end, for the terminal to open as its serial port; empty while stopped.
    QString path() const { return m_path; }
    /// Closes both ends, so that a terminal that has the port open sees its device go away. Drops what was
    /// not sent yet and pending NEW answers, removes the link. Program and disk stay.
    void stop();

    /// Console text the device prints on its own (a running program's output), queued behind the replies.
    void print(QByteArrayView text);
    /// Bytes queued and not yet handed to the pseudo-terminal.
    qsizetype queued() const { return m_tx.size() - m_txHead; }
    /// Bytes dropped because the queue was full (nobody reads the terminal end).
    qint64 dropped() const { return m_dropped; }

private:
    void readMaster();
    void parse();
    qsizetype takeOne();
    bool startsFrame(uchar byte) const;
    void answer(QByteArrayView commandLine, bool framed);
    void replyLine(QByteArrayView line, bool framed);
    void send(QByteArrayView bytes);
    void pump();
    bool makeLink(QString *error);

    Options m_options;
    DeviceConsole m_console;
    int m_master = -1;
    int m_slave = -1; // held open so that the pair lives while no terminal has the port open
    QString m_path;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;

    QByteArray m_rx;
    bool m_afterCr = false;  // the last line ended in CR: a LF that follows belongs to it
    bool m_skipLine = false; // an overlong line is being thrown away up to its end
    QTimer m_frameSilence;   // a frame left incomplete this long is noise

    QByteArray m_tx;
    qsizetype m_txHead = 0;
    qint64 m_dropped = 0;
    QTimer m_pace;
    QElapsedTimer m_clock;
    qint64 m_lastPaceNs = 0;
    double m_credit = 0; // bytes the line could have carried and has not yet
};
