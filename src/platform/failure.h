// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <exception>

/// The failure numbers the terminal reports, in one table; the "Error#" box shows the number.
enum class Err : int {
    Overflow = 6,            // a number does not fit its field
    OutOfMemory = 7,         // more than the memory left
    SubscriptOutOfRange = 9, // an index beyond a table
    TypeMismatch = 13,       // a text that is not a number
    BadFileNameOrNumber = 52,
    FileNotFound = 53,
    FileAlreadyOpen = 55,
    DeviceIOError = 57,
    DiskFull = 61,
    InputPastEndOfFile = 62,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    InvalidFileFormat = 321, // a file of ours that does not hold what it should
    InvalidPortNumber = 8002,
    PortAlreadyOpen = 8005,
    DeviceBusy = 8010, // another terminal is transferring to the device
    PortNotOpen = 8018,
    DeviceDisconnected = 8020,
    InvalidSettings = 380,
    SocketAccessDenied = 10013,
    SocketAddressInUse = 10048,
    SocketInvalidArgument = 10014,
    SocketMessageTooLong = 10040, // a datagram beyond the 65,507 bytes UDP carries
    SocketNotConnected = 10057,
    SocketHostNotFound = 11001,
};

/// A failure: a number and a description, thrown by the platform and the file table.
class Failure : public std::exception
{
public:
    Failure(Err number, QString description) : m_number(int(number)), m_description(std::move(description)) {}
    int number() const { return m_number; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return "Failure"; }

private:
    int m_number;
    QString m_description;
};
