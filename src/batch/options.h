// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// What one run of the batch command is asked to do: the link, one verb and its arguments, and the output.
struct Options {
    enum class Verb { Ver, Send, Put, Get, Download, List, New, EnsureProgram };
    enum class Framing { Plain, Rtu, ViaUsb };

    Verb verb = Verb::Ver;
    QString verbName;
    /// send: the command lines, each as typed; with --list, the names of saved commands.
    QStringList texts;
    /// send --list: the command lists file the names are looked up in.
    QString listFile;
    /// put, get, download, list, ensure-program: the local file, made absolute against the folder the command was
    /// started in.
    QString local;
    /// put, get: the file's name on the flash disk.
    QString name;
    bool verify = false;
    /// put: the device's file is read first, and an identical one is left alone.
    bool ifDifferent = false;
    /// put, download, new, ensure-program: say what would be done, change nothing.
    bool check = false;
    /// How many times the whole verb is run again from its start when the link fails or a step gets no reply.
    int retries = 0;

    /// Several devices (--hosts, or --host and --serial given more than once): the verb runs on each in a vantrel
    /// of its own, `jobs` at once (batch/fleet.cpp). Empty: the one device of --host or --serial.
    struct Device {
        QString entry;  // "10.0.0.7:111", "COM3", "/dev/ttyUSB0"
        QString origin; // where it was given: "hosts.txt line 3", "--host"
    };
    QList<Device> fleet;
    int jobs = 8;
    /// The run's arguments as given, the program's name first: each device of a fleet runs them.
    QStringList arguments;

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
    QString logDir;  // --log-dir: a log per device, named after it
    bool noLog = false;
    int timeoutMs = 5000;
    /// The device takes about 20 s to answer NEW: how long its answer is waited for unless --timeout says.
    static constexpr int kEraseMs = 25000;
    int quietMs = 500;
    bool json = false;
    bool quiet = false; // -q: no progress on stderr
    /// --trace: every unit of the run goes to this file, made absolute; empty: none.
    QString trace;

    bool serialLink() const { return !serial.isEmpty(); }
    /// "COM3": a port number, not the path of a device.
    static bool isPortName(const QString &name);
    /// The link as asked for: the host (with its port), or the serial port and its framing.
    QString target() const;
    /// The device as given: the host or the serial port.
    QString device() const { return serialLink() ? serial : host; }
    /// An entry of a host list that names a serial port ("COM3", a path) rather than a host.
    static bool isSerialEntry(const QString &entry);
    /// The name of a device's own log: the entry with what a file name cannot hold made "_", and ".log".
    static QString logName(const QString &entry);
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
