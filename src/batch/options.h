// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// What one run of the batch command is asked to do: the link, one verb and its arguments, and the output.
struct Options {
    enum class Verb { Ver, Send, Put, Get, Download, List, New };
    enum class Framing { Plain, Rtu, ViaUsb };

    Verb verb = Verb::Ver;
    QString verbName;
    /// send: the command lines, each as typed; with --list, the names of saved commands.
    QStringList texts;
    /// send --list: the command lists file the names are looked up in.
    QString listFile;
    /// put, get, download, list: the local file, made absolute against the folder the command was started in.
    QString local;
    /// put, get: the file's name on the flash disk.
    QString name;
    bool verify = false;

    /// --host as given: an address, a host name, either with ":port".
    QString host;
    QString mdc; // empty: commands go to the device itself
    /// --serial: "COMn", or the path of a device.
    QString serial;
    int speed = 115200;
    Framing framing = Framing::Plain;
    QString station;
    /// --wait-for-device: how long a serial device that went away is waited for, in ms; 0: not at all.
    int deviceWaitMs = 0;

    QString workdir; // empty: the folder the command was started in
    QString logFile; // --log, made absolute; empty: "Terminal.log" in the working folder
    bool noLog = false;
    int timeoutMs = 5000;
    int quietMs = 500;
    bool json = false;
    /// --trace: every unit of the run goes to this file, made absolute; empty: none.
    QString trace;

    bool serialLink() const { return !serial.isEmpty(); }
    /// "COM3": a port number, not the path of a device.
    static bool isPortName(const QString &name);
    /// The link as asked for: the host (with its port), or the serial port and its framing.
    QString target() const;
};

namespace CommandLine
{
enum class Parsed { Run, Help, Version, Usage };
/// Reads the arguments (the program's name first) into `options`; on Usage, `error` says what is wrong. `json` is
/// set as soon as --json is seen, so that a usage error can still be reported as JSON.
Parsed parse(const QStringList &arguments, Options &options, QString &error);
/// --help: the options, the verbs and the exit codes.
QString helpText();
} // namespace CommandLine
