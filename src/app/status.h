// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

struct SerialPortInfo;

/// Why the last action did nothing. The words for each, which the window's status line and the batch command
/// both show, are in one table (app/status.cpp).
enum class Why {
    None,
    SerialOpen,          // Connect or Disconnect while the serial port is the active link
    LinkUp,              // Open while the UDP link is up
    NoAddress,           // Connect or Add with an empty address box
    HostNotFound,        // the host name: what
    RemotePortNotNumber, // what was typed as the remote port
    RemotePortRange,     // a number outside 1 to 65535
    LocalPortInUse,      // the local port
    ConnectFailed,       // the socket's own words
    NotConnected,        // a button or Enter that needs a link, with none up
    UdpOnly,             // the flash disk is reached by datagrams only
    ViaUsbOff,           // "Init Port" without "Via USB" ticked
    PortClosed,          // "Init Port" with the serial port closed
    NoDownload,          // ">>" with no download under way
    NothingToStop,       // "X" with no download under way
    NotInList,           // "Del" while the address shown is no entry of the list
    NoPortNumber,        // a port picked that no port number reaches: its device
    DeviceGone,          // a command while the open port's device is gone: the port box's "COM3"
    DeviceBack,          // not a refusal: the device came back and its port is open again; the device
    ExchangeCut,         // not a refusal: the exchange the device's going ended ("program download")
    TransferUnderWay,    // a saved command while a transfer or a program download or listing runs
    ListsRefused,        // a change to the saved command lists while the file was refused at start: why
    NoSavedCommand,      // a key with no saved command in the list shown: the key
};

namespace Status
{
/// The status line's words for `why`, with `what` (a name, a number, a cause) in its place.
QString reason(Why why, const QByteArray &what = {});
/// "no reply for 12 s": a command went out `silentMs` ago and nothing has come back since.
QString silence(qint64 silentMs);
/// "12 B sent, 3.4 KiB received".
QString traffic(qint64 sent, qint64 received);
/// How the device of a serial port is named when it goes and comes back: "FTDI A12345" by its maker and USB
/// serial number, else "USB-Serial at USB 1-2" by its kind and USB socket, else its path.
QByteArray device(const SerialPortInfo &device);
/// A silence shorter than this is an answer on its way, not worth a word.
inline constexpr qint64 kSilenceMs = 2000;
} // namespace Status
