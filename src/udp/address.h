// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>

/// An address as typed in the address box or kept in "terminal.ini": a host, and the device's port when the
/// entry names one. Pure functions over bytes.
namespace Address
{
struct HostPort {
    QByteArray host;
    /// The entry names a port: `port` holds the text after the colon. Otherwise the remote port box applies.
    bool hasPort = false;
    QByteArray port;
};

/// Splits "host:port". "10.0.0.7" gives no port; "10.0.0.7:5111" and "device.local:5111" give 5111;
/// "[fe80::1]:5111" gives the IPv6 host fe80::1 and 5111, "[fe80::1]" the host alone; an IPv6 address without
/// brackets ("fe80::1") is a host with no port. Blanks around the whole and around each part are dropped.
/// The port is not checked here: "10.0.0.7:" gives an empty port, "10.0.0.7:abc" the port "abc".
HostPort split(QByteArrayView entry);

/// The device's port as typed after the colon: 1 to 65535, decimal digits only; 0 for anything else.
quint16 port(QByteArrayView text);
} // namespace Address
