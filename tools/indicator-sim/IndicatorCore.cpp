#include "IndicatorCore.h"

#include "Protocol.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int NoiseMaxLength = 8;
// Garbage never holds CR, LF, ACK, NAK, NUL or an upper-case V, so it cannot end, classify or
// shift a reply line: it only prefixes it.
constexpr char NoiseAlphabet[] = "#$%&*+<>?@^_~|\x01\x02\x1B\x7F\x80\xFE";

} // namespace

IndicatorCore::IndicatorCore()
    : m_memory(protocol::MemorySize, protocol::Erased)
{
    m_session.mayHangUp = false;
}

void IndicatorCore::setFaults(const Faults& faults)
{
    m_faults = faults;
    m_faults.ignoreFirst = std::max(faults.ignoreFirst, 0);
    m_faults.delayMs = std::max(faults.delayMs, 0);
    m_faults.baud = std::max(faults.baud, 0);
    m_faults.expectBaud = std::max(faults.expectBaud, 0);
    m_faults.chatterEvery = std::max(faults.chatterEvery, 0);
    m_faults.lfAfterMs = std::max(faults.lfAfterMs, 0);
    m_faults.duplicateEvery = std::max(faults.duplicateEvery, 0);
    m_faults.duplicateDelayMs = std::max(faults.duplicateDelayMs, 0);
    m_faults.garbleEvery = std::max(faults.garbleEvery, 0);
    m_faults.deafMs = std::max(faults.deafMs, 0);
    for (int& ms : m_faults.lateAt)
        ms = std::max(ms, 0);
}

auto IndicatorCore::handle(const QByteArray& line) -> Outcome
{
    return handle(line, m_session);
}

auto IndicatorCore::handle(const QByteArray& line, Session& session) -> Outcome
{
    using Kind = protocol::Command::Kind;
    Outcome outcome;
    m_lines.append(line);
    const auto every = [this](int n) { return n > 0 && m_replies % quint64(n) == 0; };
    const auto answer = [&](QByteArray&& reply) {
        ++m_replies;
        if (every(m_faults.garbleEvery)) {
            const qsizetype at =
                std::max(reply.indexOf(protocol::Ack), reply.indexOf(protocol::Nak));
            if (at >= 0)
                reply[at] = protocol::Bel;
        }
        if (m_faults.crlf && m_faults.lfAfterMs > 0 && reply.endsWith(protocol::Cr))
            outcome.trailer = QByteArray(1, protocol::Lf);
        outcome.reply = std::move(reply);
        outcome.answered = true;
        outcome.duplicate =
            every(m_faults.duplicateEvery) || m_faults.duplicateAlwaysLines.contains(line) ||
            (m_faults.duplicateLines.contains(line) && !m_duplicated.contains(line));
        if (outcome.duplicate)
            m_duplicated.insert(line);
        if (every(m_faults.chatterEvery))
            outcome.chatter = ChatterLine;
    };
    const auto silenced = [&] {
        return m_faults.silentAfter >= 0 && m_counters.commands > quint64(m_faults.silentAfter);
    };
    // A lone CR is the tool's flush after a time-out: it is neither a command nor an attempt.
    if (line.isEmpty()) {
        if (m_faults.loneCrNak && !silenced())
            answer(shape({}, false, false));
        return outcome;
    }
    ++m_counters.commands;
    ++session.commands;
    session.attempts = line == session.lastCommand ? session.attempts + 1 : 1;
    session.lastCommand = line;
    if (m_faults.dropAfter >= 0 && session.commands > quint64(m_faults.dropAfter) &&
        session.mayHangUp) {
        outcome.hangUp = true;
        return outcome;
    }
    const bool mute = silenced() || session.attempts <= m_faults.ignoreFirst;
    const protocol::Command command = mute ? protocol::Command() : protocol::parse(line);
    const bool refused = m_faults.nakLines.contains(line);
    if (mute ||
        (!refused && command.kind == Kind::Write && m_faults.silentAt.contains(command.address)))
        return outcome;

    bool accepted = false;
    QByteArray text;
    switch (refused ? Kind::Invalid : command.kind) {
    case Kind::Version:
        accepted = true;
        text = m_faults.version;
        break;
    case Kind::Serial:
        accepted = true;
        text = m_faults.serial;
        break;
    case Kind::Write:
        accepted = !m_faults.nakAt.contains(command.address) && protocol::writable(command.address);
        if (accepted) {
            protocol::store(m_memory, command);
            ++m_counters.writes;
            outcome.stored = true;
            // Complete table: entry 7 written after entry 1, as both pointer passes do.
            if (command.address == protocol::entryAddress(1)) {
                m_entry1Written = true;
            } else if (command.address == protocol::entryAddress(protocol::SlotCount) &&
                       m_entry1Written) {
                m_entry1Written = false;
                outcome.tableComplete = true;
            }
        }
        break;
    case Kind::Empty:
    case Kind::Invalid:
        break;
    }
    if (!accepted)
        ++m_counters.naks;
    if (command.kind == Kind::Write)
        outcome.writeAddress = command.address;
    const bool query = accepted && (command.kind == Kind::Version || command.kind == Kind::Serial);
    answer(shape(text, accepted, query));
    return outcome;
}

QByteArray IndicatorCore::slot(int s) const
{
    return protocol::decodeSlot(m_memory, s);
}

void IndicatorCore::recordAnswer(const QByteArray& line, const QByteArray& reply)
{
    m_answers.append({line, reply});
}

void IndicatorCore::resetRecord()
{
    m_lines.clear();
    m_answers.clear();
    m_counters = {};
    // The chatter counts afresh, as --silent-after does.
    m_replies = 0;
    m_duplicated.clear();
}

QByteArray IndicatorCore::banner() const
{
    return m_faults.version + lineEnd();
}

QByteArray IndicatorCore::lineEnd() const
{
    if (m_faults.noCr)
        return {};
    // A late LF is sent apart from the line, by the link.
    return m_faults.crlf && m_faults.lfAfterMs == 0 ? QByteArray("\r\n") : QByteArray("\r");
}

QByteArray IndicatorCore::shape(const QByteArray& text, bool accepted, bool query)
{
    QByteArray reply = m_faults.noise ? noiseBurst() : QByteArray();
    if (m_faults.textReply) {
        reply += query ? text : accepted ? QByteArray("OK") : QByteArray("ERR");
    } else {
        reply += text;
        reply += accepted ? protocol::Ack : protocol::Nak;
    }
    reply += lineEnd();
    return reply;
}

QByteArray IndicatorCore::noiseBurst()
{
    // xorshift32: reproducible garbage without a shared generator.
    const auto next = [this] {
        m_noiseState ^= m_noiseState << 13;
        m_noiseState ^= m_noiseState >> 17;
        m_noiseState ^= m_noiseState << 5;
        return m_noiseState;
    };
    constexpr quint32 alphabetSize = sizeof NoiseAlphabet - 1;
    const int length = 1 + int(next() % NoiseMaxLength);
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes += NoiseAlphabet[next() % alphabetSize];
    return bytes;
}

} // namespace sim
