// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayList>

/// A program file's lines as the terminal reads and sends them (program/download.cpp), for whoever compares a file
/// with what the device lists.
namespace ProgramLine
{
/// The lines of a program file's bytes: a line ends at CR, CR LF or LF, its end not kept; a last line without one is
/// a line. "10 A\r20 B\r\n30 C" gives "10 A", "20 B", "30 C".
QByteArrayList split(QByteArray text);
/// A line as it goes to the device: the device takes a line number without leading zeros, and at most three go,
/// each taking the line to at most 100 characters after it. "0010 PRINT A" gives "10 PRINT A", "00000 REM" "00 REM".
QByteArray sent(QByteArray line);
} // namespace ProgramLine
