#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>

namespace sim {

// How the indicator misbehaves, all in one value, so that a set of faults is made in one place
// and handed over at once. The defaults make an indicator that behaves.
struct Faults {
    static constexpr char DefaultVersion[] = "IND V2.05";
    static constexpr char DefaultSerial[] = "12345";

    QByteArray version = DefaultVersion; // answered to ;C4
    QByteArray serial = DefaultSerial;   // answered to ;SR
    QSet<quint16> nakAt;                 // writes to these addresses are refused
    QSet<quint16> silentAt;              // writes to these addresses are never answered
    int ignoreFirst = 0;                 // a line is answered on its attempt ignoreFirst + 1
    int silentAfter = -1;                // the first n commands are answered, then none; < 0: all
    bool textReply = false;              // "OK"/"ERR" and the bare texts instead of ACK/NAK
    bool noCr = false;                   // replies lack their final CR
    int delayMs = 0;                     // every reply leaves this much later
    int baud = 0;                        // emulated wire speed both ways; 0: none
    int dropAfter = -1;                  // a link hangs up on its command n + 1; < 0: never
    bool noise = false;                  // garbage bytes precede every reply
    // A line that arrives on the pseudo-terminal while its line is set to another rate is not
    // heard, as an indicator at this rate cannot frame it; 0: any rate. TCP has no rate.
    int expectBaud = 0;
    // The first answered write to an address (since start or resetRecord()) leaves this many ms
    // late; the replies after it wait behind it.
    QHash<quint16, int> lateAt;
    bool loneCrNak = false; // a lone CR is refused instead of ignored
    int chatterEvery = 0;   // an unasked line follows every n-th reply; 0: never
    // Once n commands are handled, received bytes are held, unprocessed, until resumeAfterMs
    // after the first of them arrived (for ever when negative). stallAfter < 0: never.
    int stallAfter = -1;
    int resumeAfterMs = -1;
    QSet<QByteArray> nakLines; // these exact lines (without CR) are refused
    // Replies end with CR LF instead of CR; the LF leaves lfAfterMs after the rest (0: with it).
    bool crlf = false;
    int lfAfterMs = 0;
    // The answer to each of these lines (the first time it is answered since start or
    // resetRecord()) and every n-th answer are sent twice; the copy leaves duplicateDelayMs after
    // the answer, 0: in the same write. Replies after it wait behind it.
    QSet<QByteArray> duplicateLines;
    // The answer to each of these lines is sent twice every time it is answered.
    QSet<QByteArray> duplicateAlwaysLines;
    int duplicateEvery = 0;
    int duplicateDelayMs = 0;
    int garbleEvery = 0; // the ACK or NAK of every n-th answer arrives as BEL; 0: never
    // The command after the first n is lost to a restart: it and every byte for deafMs, then the
    // banner (the version text and the line end, no ACK) comes. < 0: never.
    int restartAfter = -1;
    int deafMs = 2500;

    friend bool operator==(const Faults&, const Faults&) = default;
};

} // namespace sim
