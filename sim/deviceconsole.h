// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

/// The counting device's console, whatever the link: VER, BASIC program lines, LIST, NEW, MDC, UART, the
/// optional login prompts and the flash disk. It takes one command line at a time and answers with reply
/// lines through a callback, since NEW answers only after its delay. The front ends (UDP, pseudo-terminal)
/// carry the lines; so both links answer alike.
class DeviceConsole : public QObject
{
    Q_OBJECT
public:
    struct Options {
        int newDelayMs = 2000;     // delay before NEW answers OK
        bool login = false;        // ask "Login:" then "Password:" first
        QString diskFolder = {};   // empty = flash disk in memory
        int errorAfterBlocks = -1; // answer ERROR to the WRITE/READ after this many blocks (-1 never)
        int errorLine = -1;        // answer ERROR to this BASIC line number (-1 never)
        int dropReply = 0;         // the Nth reply line, counted from 1, is never sent (0: none)
        int dropEvery = 0;         // one reply line in K is never sent: the Kth, the 2Kth... (0: none)
    };
    /// Takes one reply line, without its line end. May be called after handle() has returned (NEW).
    using Reply = std::function<void(QByteArrayView line)>;

    explicit DeviceConsole(Options options, QObject *parent = nullptr);
    ~DeviceConsole() override;

    /// Creates the disk folder when one is given; false with a reason in *error when that fails.
    bool prepare(QString *error = nullptr);
    /// Answers one command line (a trailing CR, LF or CR LF is optional). `sender` names who sent it, since
    /// each sender passes the login prompts on its own.
    void handle(QByteArrayView commandLine, const QString &sender, const Reply &reply);
    /// Closes any open flash file and drops NEW answers still pending. Program, disk and logins stay.
    void reset();

    /// Bytes as printable ASCII with \r, \n, \\ and \xNN escapes, for traces.
    static QByteArray escaped(QByteArrayView bytes);

private:
    enum class OpenMode { None, Write, Read };

    bool passLogin(const QString &sender, const Reply &reply);
    void programLine(QByteArrayView line, const Reply &reply);
    void list(const Reply &reply);
    void newProgram(const Reply &reply);
    void mdc(QByteArrayView arg, const Reply &reply);

    void openWrite(QByteArrayView arg, const Reply &reply);
    void openRead(QByteArrayView arg, const Reply &reply);
    void write(QByteArrayView arg, const Reply &reply);
    void read(QByteArrayView arg, const Reply &reply);
    bool injectedFailure(const Reply &reply);
    bool dropsNext();
    void closeFile();
    QString diskPath(const QByteArray &name) const;

    Options m_options;
    quint64 m_generation = 0; // bumped by reset(), so that a NEW answer armed before it is dropped

    QHash<QString, int> m_loginStage;    // prompts answered per sender: 0 name, 1 password, 2 accept, 3 in
    std::map<int, QByteArray> m_program; // line number -> statement

    QHash<QByteArray, QByteArray> m_disk; // the flash disk when no folder is given
    OpenMode m_openMode = OpenMode::None;
    QByteArray m_openName;
    QFile m_writeFile; // the open write file when the disk is a folder
    qsizetype m_written = 0;
    QByteArray m_readData;
    qsizetype m_readPos = 0;
    int m_blocks = 0;     // WRITE/READ blocks answered since the file was opened
    qint64 m_replies = 0; // reply lines made so far, sent or dropped
};
