#pragma once

#include "Faults.h"

#include <QByteArray>
#include <QList>
#include <QSet>

namespace sim {

struct Counters {
    quint64 commands = 0; // non-empty lines received, answered or not
    quint64 writes = 0;   // writes stored in memory
    quint64 naks = 0;     // commands refused (NAK, or "ERR" in text-reply mode)
    quint64 bytesIn = 0;
    quint64 bytesOut = 0;
};

// One reply as it left, with the line it answers; the line is empty for a lone CR's answer and
// for an unsolicited line.
struct Answer {
    QByteArray line;
    QByteArray reply;

    friend bool operator==(const Answer&, const Answer&) = default;
};

// The indicator itself, without transport, threads or time: its memory, what it was told and
// what it answered, and the decision on each line under the faults that need no clock. The
// link server owns one and calls it under its lock; tests can drive it directly.
class IndicatorCore {
public:
    // Sent unasked under Faults::chatterEvery: a weight print, which holds no ACK, NAK, NUL, LF
    // or V.
    static constexpr char ChatterLine[] = "ST,GS,+0001234kg\r";

    // What one link has said so far: attempts of the same line and the drop count are per link.
    struct Session {
        bool mayHangUp = true; // false for a caller that has nothing to hang up
        QByteArray lastCommand;
        int attempts = 0;
        quint64 commands = 0;
    };

    // The core's decision on one line; the caller sends it, and records it when it leaves.
    struct Outcome {
        QByteArray reply;
        QByteArray chatter;     // sent right after the reply
        QByteArray trailer;     // the reply's LF, when it leaves Faults::lfAfterMs after the rest
        bool duplicate = false; // the reply (and its trailer) is sent twice
        bool answered = false;
        bool hangUp = false;        // the link is to be dropped, unanswered
        bool tableComplete = false; // entry 7 stored after entry 1: a pointer pass ended
        bool stored = false;        // memory changed
        int writeAddress = -1;      // an answered write's address, for the late replies
    };

    IndicatorCore();

    // Negative counts and times where only >= 0 makes sense are taken as 0.
    void setFaults(const Faults& faults);
    const Faults& faults() const { return m_faults; }

    // One received line, CR removed, on the link session belongs to.
    Outcome handle(const QByteArray& line, Session& session);
    // The same on a session of the core's own, which never hangs up.
    Outcome handle(const QByteArray& line);

    const QByteArray& memory() const { return m_memory; }
    QByteArray slot(int s) const;
    const Counters& counters() const { return m_counters; }
    const QList<QByteArray>& commandLines() const { return m_lines; }
    const QList<Answer>& answers() const { return m_answers; }

    // The transport reports what it moved and what left, as it happens.
    void countIn(quint64 bytes) { m_counters.bytesIn += bytes; }
    void countOut(quint64 bytes) { m_counters.bytesOut += bytes; }
    void recordAnswer(const QByteArray& line, const QByteArray& reply);

    // Clears lines, answers and counters and restarts the count of replies for the chatter,
    // the copies and the garbled bytes.
    void resetRecord();
    // What the indicator prints when it starts again after a restart.
    QByteArray banner() const;

private:
    QByteArray shape(const QByteArray& text, bool accepted, bool query);
    QByteArray noiseBurst();
    QByteArray lineEnd() const;

    Faults m_faults;
    QByteArray m_memory;
    Counters m_counters;
    QList<QByteArray> m_lines;
    QList<Answer> m_answers;
    Session m_session; // for callers without a link: it never hangs up
    quint64 m_replies = 0;
    QSet<QByteArray> m_duplicated; // lines whose answer was sent twice already
    quint32 m_noiseState = 0x2545F491;
    bool m_entry1Written = false;
};

} // namespace sim
