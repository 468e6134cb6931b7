// SPDX-License-Identifier: MIT
#pragma once

#include "platform/winsock.h"
#include "program/listingscan.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <vector>

/// The wire monitor: every unit that goes over the wire, both ways, in a bounded record that the monitor view,
/// the exports and the batch command read. Appending costs a slot of the ring and a few comparisons; what a unit
/// means in words is decoded only when someone asks (monitor/decode.h).
namespace Monitor
{
enum class Direction : quint8 { Sent, Received, Note };

/// What a unit is on its link.
enum class Form : quint8 {
    Datagram, // one UDP datagram
    Write,    // bytes written to the serial port at once
    Chunk,    // what one tick of the serial poll read
    Frame,    // an RTU reply frame gathered from chunks (its bytes came with the chunks before it)
    Note,     // the terminal's own word in the record: a link came up or went down
};

/// What a unit belongs to, for filtering; a unit's kind is a set of these (an RTU frame that carries a program
/// line is Rtu | Program).
enum Kind : quint8 { Console = 1, Program = 2, Flash = 4, Rtu = 8, AllKinds = 15 };

/// What a unit is in its exchange, told when it is appended from the unit itself and what was sent before it.
enum class Step : quint8 {
    Text,        // console text: a command typed, or what the device sent unasked
    ProgramLine, // a line of the program download under way, or a BASIC line typed
    List,        // "LIST", or "LISt" on the serial line
    New,
    OpenWrite, // the flash disk: "OPENWR ", "OPENRD ", "WRITE ", "READ 20", "CLOSE"
    OpenRead,
    Write,
    Read,
    Close,
    Reply,  // an answer that is neither "OK" nor "ERROR"
    Ok,     // an answer holding "OK"
    Error,  // an answer holding "ERROR"
    Prompt, // "Login" or "Passwor" in a datagram that answers a program line or "LIST"
    Data,   // a data reply of a flash read
    End,    // the last reply of a flash read, with the end marker "ND"
    ListingLine,
    ListingEnd, // the answer whose line starts with "OK": the listing is complete
    Raw,        // a chunk read in RTU mode: the frames are gathered from it
    Note,
};

/// How the serial port frames what is written to it.
enum class Framing : quint8 { Plain, Rtu, Mdc };

enum Flag : quint8 {
    Answered = 1,   // a request that had its reply
    FirstReply = 2, // the first reply to its request: its reply time counts
    CrcBad = 4,     // an RTU frame whose CRC does not hold: the terminal dropped it
};

struct Unit {
    QByteArrayView
        bytes;     // as they went over the wire, or a note's text: in the record's own store while it holds the unit
    qint64 us = 0; // microseconds since 1970 (UTC)
    qint64 request = -1; // the number of the request this unit answers; -1 when it answers none
    qint64 replyUs = -1; // microseconds from that request to this unit
    quint32 block = 0;   // a flash WRITE or READ: its number since OPENWR or OPENRD, from 1; a reply has its request's
    quint32 offset = 0;  // a flash block: where its bytes lie in the file
    quint16 link = 0;
    Direction direction = Direction::Note;
    Form form = Form::Note;
    quint8 kind = 0;
    Step step = Step::Note;
    quint8 flags = 0;
};

/// Where units went: a UDP peer as seen from this end, or a serial port and its device.
struct Link {
    QByteArray name; // "127.0.0.1:5111", "[::1]:5111", "COM3 /dev/ttyUSB2"
    Winsock::Endpoint peer;
    Winsock::Endpoint local;
};

/// Which units a view shows and an export writes: a unit passes when its direction is chosen and every kind it has.
/// Notes always pass.
struct Filter {
    bool sent = true;
    bool received = true;
    quint8 kinds = AllKinds;
    bool accepts(const Unit &unit) const;
};

/// What the units a filter passes add up to.
struct Summary {
    qint64 sent = 0, received = 0;           // units each way
    qint64 bytesSent = 0, bytesReceived = 0; // bytes on the wire (a frame's came with its chunks)
    qint64 crcErrors = 0;
    qint64 unanswered = 0; // requests whose reply never came (the one still awaited does not count)
    qint64 replies = 0;    // replies timed: the first to each request
    qint64 minUs = -1, medianUs = -1, maxUs = -1;
};

/// "127.0.0.1:5111", "[2001:db8::1]:5111"; "-" for an end not known.
QByteArray endpointText(const Winsock::Endpoint &end);

/// Every unit in order, numbered from 0 as they come; the oldest go once the ring holds `capacity` units, or once
/// their bytes fill the store that goes with it.
///
/// The record takes all its memory when it records its first unit: a long session's memory stays where it started
/// instead of creeping up for half an hour until the ring is full, and a unit costs no allocation of its own.
class Record
{
public:
    static constexpr qsizetype kCapacity = 100000;
    /// The bytes kept for each unit of the capacity, on average: a flash transfer's datagrams fit within it, so the
    /// count bounds a transfer's record; a serial line's longer chunks fill the store first.
    static constexpr qsizetype kBytesPerUnit = 48;
    explicit Record(qsizetype capacity = kCapacity) : m_capacity(capacity) {}

    // What the send and receive paths append. `download`: the line is one of the program download under way.
    void datagramSent(qint64 us, const Winsock::Endpoint &to, const Winsock::Endpoint &from, const QByteArray &bytes,
                      bool download);
    void datagramReceived(qint64 us, const Winsock::Endpoint &from, const Winsock::Endpoint &to,
                          const QByteArray &bytes);
    void written(qint64 us, const QByteArray &port, const QByteArray &bytes, Framing framing, bool download);
    /// A chunk the poll read; in RTU mode its frames follow as gathered().
    void read(qint64 us, const QByteArray &port, const QByteArray &chunk, bool rtu);
    void gathered(qint64 us, const QByteArray &port, const QByteArray &frame);
    void note(qint64 us, const QByteArray &text);

    /// The numbers of the units held: [first(), end()).
    qint64 first() const { return m_first; }
    qint64 end() const { return m_end; }
    const Unit &at(qint64 n) const { return m_units[slot(n)]; }
    bool holds(qint64 n) const { return n >= m_first && n < m_end; }
    const Link &link(quint16 index) const { return m_links[index]; }
    /// The request whose reply, or the rest of it, is due; -1 when none.
    qint64 awaited() const { return m_open || m_more ? m_request : -1; }

    /// Forgets every unit; numbering goes on. A capacity of 0 records nothing.
    void clear();
    void setCapacity(qsizetype capacity);
    qsizetype capacity() const { return m_capacity; }

    Summary summarize(const Filter &filter) const;

private:
    /// Where unit `n` lies in the ring.
    size_t slot(qint64 n) const { return size_t((n - m_origin) % m_capacity); }
    quint16 linkTo(const QByteArray &name, const Winsock::Endpoint &peer, const Winsock::Endpoint &local);
    quint16 datagramLink(const Winsock::Endpoint &peer, const Winsock::Endpoint &local);
    void request(Unit &unit, QByteArrayView command, bool download);
    void reply(Unit &unit, QByteArrayView text);
    void append(Unit &&unit);
    /// Where `size` bytes go, counted over everything stored; the oldest units whose bytes they replace are forgotten.
    qint64 place(qsizetype size);

    qsizetype m_capacity;
    std::vector<Unit> m_units;
    std::vector<qint64> m_placed; // where each slot's bytes went, counted over everything stored
    std::vector<char> m_store;    // the units' bytes, one after another, round and round
    qint64 m_stored = 0;          // the bytes stored so far, with the ends of the store left unused
    qint64 m_origin = 0;          // the number of the unit in slot 0
    qint64 m_first = 0;
    qint64 m_end = 0;
    QList<Link> m_links;
    quint16 m_link = 0;
    bool m_linkSet = false;
    // The exchange under way, told from what was sent and answered so far.
    qint64 m_request = -1; // the last request
    Step m_requestStep = Step::Text;
    bool m_open = false;     // its first reply is due
    bool m_more = false;     // further replies to it are due (a listing's lines, the OK after a READ's data)
    bool m_lineOpen = false; // a serial reply has not ended its line yet
    ListingScan m_listing;
    quint32 m_block = 0;
    quint32 m_offset = 0;
};
} // namespace Monitor
