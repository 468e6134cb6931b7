// SPDX-License-Identifier: MIT
#include "record.h"

#include "decode.h"

#include "serial/modbus.h"

#include <algorithm>
#include <utility>

namespace Monitor
{
namespace
{
/// A WRITE carries its block as hex digits between the quotes of `WRITE "..."`.
constexpr qsizetype kWriteFraming = 8;
/// Every data reply of a read fills 20 bytes of the file, however short it is.
constexpr quint32 kReadBlock = 20;

Kind kindOf(Step step)
{
    switch (step) {
    case Step::ProgramLine:
    case Step::List:
    case Step::New:
        return Program;
    case Step::OpenWrite:
    case Step::OpenRead:
    case Step::Write:
    case Step::Read:
    case Step::Close:
        return Flash;
    default:
        return Console;
    }
}

/// What a command line asks of the device.
Step commandStep(QByteArrayView command, bool download)
{
    if (download)
        return Step::ProgramLine;
    const std::pair<const char *, Step> flash[] = {{"OPENWR ", Step::OpenWrite},
                                                   {"OPENRD ", Step::OpenRead},
                                                   {"WRITE ", Step::Write},
                                                   {"READ 20", Step::Read},
                                                   {"CLOSE", Step::Close}};
    for (const auto &[prefix, step] : flash)
        if (command.startsWith(prefix))
            return step;
    const QByteArrayView word = withoutLineEnd(command);
    if (word == "LIST" || word == "LISt")
        return Step::List;
    if (word == "NEW")
        return Step::New;
    return !word.isEmpty() && word[0] >= '0' && word[0] <= '9' ? Step::ProgramLine : Step::Text;
}

/// What an answer to a request of `request`'s step is; the reply rules of the terminal's exchanges, read from the
/// wire. Login prompts end an exchange only when they come by datagram.
Step replyStep(Step request, QByteArrayView text, bool datagram, ListingScan &listing)
{
    // Looked for only where a prompt means something: every block of a flash transfer is answered.
    const auto prompt = [&] { return datagram && (text.contains("Login") || text.contains("Passwor")); };
    switch (request) {
    case Step::List:
        if (prompt())
            return Step::Prompt;
        if (bool ended = false; !datagram) {
            listing.take(text, ended);
            return ended ? Step::ListingEnd : Step::ListingLine;
        }
        return text.first(qMin<qsizetype>(5, text.size())).contains("OK") ? Step::ListingEnd : Step::ListingLine;
    case Step::OpenWrite:
    case Step::OpenRead:
    case Step::Write:
    case Step::Read:
    case Step::Close:
        if (text.contains("ERROR"))
            return Step::Error;
        if ((request == Step::Read || request == Step::OpenRead) && text.contains("ND"))
            return Step::End;
        if (text.contains("OK"))
            return Step::Ok;
        return request == Step::Read ? Step::Data : Step::Reply;
    default:
        if (text.contains("ERROR"))
            return Step::Error;
        if (request == Step::ProgramLine && prompt())
            return Step::Prompt;
        return text.contains("OK") ? Step::Ok : Step::Reply;
    }
}
} // namespace

QByteArray endpointText(const Winsock::Endpoint &end)
{
    const auto &a = end.address;
    QByteArray host;
    if (end.size == 4) {
        host = QByteArray::number(a[0]) + '.' + QByteArray::number(a[1]) + '.' + QByteArray::number(a[2]) + '.' +
               QByteArray::number(a[3]);
    } else if (end.size == 16) {
        // Eight groups in lower-case hex; the longest run of two or more zero groups written as "::".
        int run = 0, best = 0, bestAt = -1;
        for (int g = 0; g < 8; ++g) {
            run = (a[2 * g] | a[2 * g + 1]) ? 0 : run + 1;
            if (run > best && run >= 2) {
                best = run;
                bestAt = g - run + 1;
            }
        }
        for (int g = 0; g < 8; ++g) {
            if (g == bestAt) {
                host += "::";
                g += best - 1;
                continue;
            }
            if (!host.isEmpty() && !host.endsWith(':'))
                host += ':';
            host += QByteArray::number((a[2 * g] << 8) | a[2 * g + 1], 16);
        }
        host = '[' + host + ']';
    } else {
        return "-";
    }
    return host + ':' + QByteArray::number(end.port);
}

bool Filter::accepts(const Unit &unit) const
{
    if (unit.direction == Direction::Sent ? !sent : unit.direction == Direction::Received && !received)
        return false;
    return (unit.kind & ~kinds) == 0;
}

quint16 Record::linkTo(const QByteArray &name, const Winsock::Endpoint &peer, const Winsock::Endpoint &local)
{
    const auto same = [&](const Link &l) { return l.peer == peer && l.local == local && l.name == name; };
    if (m_linkSet && same(m_links[m_link]))
        return m_link;
    const auto found = std::find_if(m_links.cbegin(), m_links.cend(), same);
    if (found != m_links.cend()) {
        m_link = quint16(found - m_links.cbegin());
    } else if (m_links.size() <= 0xFFFF) {
        m_links.append({name, peer, local});
        m_link = quint16(m_links.size() - 1);
    }
    m_linkSet = true;
    return m_link;
}

quint16 Record::datagramLink(const Winsock::Endpoint &peer, const Winsock::Endpoint &local)
{
    // The name is made only for a peer not met before.
    if (m_linkSet && m_links[m_link].peer == peer && m_links[m_link].local == local)
        return m_link;
    return linkTo(endpointText(peer), peer, local);
}

void Record::datagramSent(qint64 us, const Winsock::Endpoint &to, const Winsock::Endpoint &from,
                          const QByteArray &bytes, bool download)
{
    Unit unit{bytes, us};
    unit.direction = Direction::Sent;
    unit.form = Form::Datagram;
    unit.link = datagramLink(to, from);
    request(unit, mdcCommand(bytes), download);
    append(std::move(unit));
}

void Record::datagramReceived(qint64 us, const Winsock::Endpoint &from, const Winsock::Endpoint &to,
                              const QByteArray &bytes)
{
    Unit unit{bytes, us};
    unit.direction = Direction::Received;
    unit.form = Form::Datagram;
    unit.link = datagramLink(from, to);
    reply(unit, bytes);
    append(std::move(unit));
}

void Record::written(qint64 us, const QByteArray &port, const QByteArray &bytes, Framing framing, bool download)
{
    Unit unit{bytes, us};
    unit.direction = Direction::Sent;
    unit.form = Form::Write;
    unit.link = linkTo(port, {}, {});
    QByteArrayView command = bytes;
    if (framing == Framing::Rtu) {
        unit.kind = Rtu;
        command = frameData(bytes);
    } else if (framing == Framing::Mdc) {
        command = mdcCommand(bytes);
    }
    request(unit, command, download);
    append(std::move(unit));
}

void Record::read(qint64 us, const QByteArray &port, const QByteArray &chunk, bool rtu)
{
    Unit unit{chunk, us};
    unit.direction = Direction::Received;
    unit.form = Form::Chunk;
    unit.link = linkTo(port, {}, {});
    if (rtu) {
        // Only the frames gathered from it answer anything.
        unit.kind = Rtu;
        unit.step = Step::Raw;
    } else {
        reply(unit, chunk);
    }
    append(std::move(unit));
}

void Record::gathered(qint64 us, const QByteArray &port, const QByteArray &frame)
{
    Unit unit{frame, us};
    unit.direction = Direction::Received;
    unit.form = Form::Frame;
    unit.kind = Rtu;
    unit.link = linkTo(port, {}, {});
    if (frame.size() >= 5 && Modbus::crc16(frame) == 0) {
        reply(unit, frameData(frame));
    } else {
        // The terminal drops it: the request still awaits its answer.
        unit.step = Step::Raw;
        unit.flags = CrcBad;
    }
    append(std::move(unit));
}

void Record::note(qint64 us, const QByteArray &text)
{
    Unit unit{text, us};
    append(std::move(unit));
}

void Record::request(Unit &unit, QByteArrayView command, bool download)
{
    unit.step = commandStep(command, download);
    unit.kind |= kindOf(unit.step);
    switch (unit.step) {
    case Step::OpenWrite:
    case Step::OpenRead:
        m_block = 0;
        m_offset = 0;
        break;
    case Step::Write:
        unit.block = ++m_block;
        unit.offset = m_offset;
        m_offset += quint32(qMax<qsizetype>(0, withoutLineEnd(command).size() - kWriteFraming) / 2);
        break;
    case Step::Read:
        unit.block = ++m_block;
        unit.offset = m_offset;
        break;
    case Step::List:
        m_listing = {};
        break;
    default:
        break;
    }
    m_request = m_end;
    m_requestStep = unit.step;
    m_open = true;
    m_more = false;
    m_lineOpen = true;
}

void Record::reply(Unit &unit, QByteArrayView text)
{
    if (!holds(m_request) || !(m_open || m_more)) {
        unit.step = Step::Text;
        unit.kind |= Console;
        return;
    }
    Unit &request = m_units[slot(m_request)];
    unit.request = m_request;
    unit.replyUs = unit.us - request.us;
    if (std::exchange(m_open, false)) {
        unit.flags |= FirstReply;
        request.flags |= Answered;
    }
    const bool datagram = unit.form == Form::Datagram;
    unit.kind |= kindOf(m_requestStep);
    unit.step = replyStep(m_requestStep, text, datagram, m_listing);
    if (unit.step == Step::Data || unit.step == Step::End) {
        unit.block = request.block;
        unit.offset = m_offset;
        m_offset += unit.step == Step::Data ? kReadBlock : 0;
    }
    // A serial reply goes on until its line ends; a listing until its end, a READ's data until its OK.
    if (!datagram && (text.contains('\r') || text.contains('\n')))
        m_lineOpen = false;
    m_more = (!datagram && m_lineOpen) || unit.step == Step::ListingLine || unit.step == Step::Data;
}

void Record::append(Unit &&unit)
{
    if (m_capacity <= 0) {
        m_first = ++m_end;
        return;
    }
    if (m_units.empty()) {
        // Paid at once, every page touched, so that what the ring costs shows from the start.
        m_units.resize(size_t(m_capacity));
        m_placed.resize(size_t(m_capacity));
        m_store.assign(size_t(m_capacity * kBytesPerUnit), 0);
    }
    const QByteArrayView bytes = unit.bytes.first(qMin(unit.bytes.size(), qsizetype(m_store.size())));
    const size_t index = slot(m_end);
    ++m_end;
    m_first = qMax(m_first, m_end - m_capacity);
    m_placed[index] = place(bytes.size());
    char *kept = m_store.data() + m_placed[index] % qint64(m_store.size());
    std::copy(bytes.begin(), bytes.end(), kept);
    unit.bytes = QByteArrayView(kept, bytes.size());
    m_units[index] = std::move(unit);
}

qint64 Record::place(qsizetype size)
{
    const qint64 store = qint64(m_store.size());
    qint64 at = m_stored;
    // A unit's bytes lie in one piece: one that would not fit before the end of the store starts at its beginning.
    if (at % store + size > store)
        at += store - at % store;
    m_stored = at + size;
    // Each byte stored takes the place of the one stored a whole store before it.
    while (m_first < m_end - 1 && m_placed[slot(m_first)] < m_stored - store)
        ++m_first;
    return at;
}

void Record::clear()
{
    m_origin = m_first = m_end;
    m_request = -1;
    m_open = m_more = false;
}

void Record::setCapacity(qsizetype capacity)
{
    clear();
    m_units = {};
    m_placed = {};
    m_store = {};
    m_capacity = qMax<qsizetype>(0, capacity);
}

Summary Record::summarize(const Filter &filter) const
{
    Summary s;
    std::vector<qint64> times;
    for (qint64 n = m_first; n < m_end; ++n) {
        const Unit &u = at(n);
        if (!filter.accepts(u) || u.direction == Direction::Note)
            continue;
        const bool wire = u.form != Form::Frame;
        if (u.direction == Direction::Sent) {
            ++s.sent;
            s.bytesSent += u.bytes.size();
            s.unanswered += !(u.flags & Answered) && n != awaited();
        } else {
            ++s.received;
            s.bytesReceived += wire ? u.bytes.size() : 0;
            s.crcErrors += (u.flags & CrcBad) != 0;
            if (u.flags & FirstReply)
                times.push_back(u.replyUs);
        }
    }
    s.replies = qint64(times.size());
    if (!times.empty()) {
        const auto [min, max] = std::minmax_element(times.begin(), times.end());
        s.minUs = *min;
        s.maxUs = *max;
        std::nth_element(times.begin(), times.begin() + qsizetype(times.size() / 2), times.end());
        s.medianUs = times[times.size() / 2];
    }
    return s;
}
} // namespace Monitor
