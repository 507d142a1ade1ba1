#pragma once

#include "link/ReplyLines.h"
#include "platform/LineChannel.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>

// The traffic log: QT_LOGGING_RULES="talvor.exchange.debug=true" prints every command and reply.
Q_DECLARE_LOGGING_CATEGORY(lcExchange)

// One command line out, one reply line back, with a time-out per attempt, a lone CR after each
// time-out and up to three attempts. Event-driven: SendCommand returns at once and finished()
// reports the outcome, so nothing waits in a nested event loop.
//
// The exchange keeps the line in step: a reply is only ever taken for the command it answers.
// After a time-out, answers may still be on their way (a late reply, the answer to the lone CR,
// the answer to a repeated attempt), so the line is drained until it falls quiet before the next
// attempt, and before the next command the indicator is asked for its version: every line up to
// the one that carries the known version text is stale and is dropped. Without a time-out none
// of this costs anything.
//
// Timing alone cannot tell a command's own answer from a displaced one (a duplicate, a late
// answer), so the exchange also counts: every ACK or NAK line that no pending command took is a
// surplus line. proveInStep() asks for the version; its answer, with no surplus line since the
// last such point, proves every judgement in between. A surplus voids them: the caller sends
// those commands again.
class CommandExchange : public QObject {
    Q_OBJECT
public:
    enum class Failure {
        None,
        Nak,         // the reply held a NAK
        NoReply,     // no reply in all attempts
        ChannelLost, // the channel became unusable
        OutOfStep,   // the line could not be brought back in step; the command was not sent
        Voided,      // proveInStep: in step now, but some answer since the last in-step point
                     // was surplus, so the judgements in between cannot be trusted
    };
    Q_ENUM(Failure)

    // What the reply that decided the command held; the letters are what the traffic log shows.
    enum class Reply : char {
        Waiting = 'W', // no reply yet, or none came
        Ack = 'A',     // an ACK and no NAK
        Nak = 'N',     // a NAK, wherever it stood
        Text = 'R',    // neither: a text reply
    };

    static constexpr int kMaxAttempts = 3;
    // How long the line must stay silent before stale answers count as gone: several reply lines
    // at 4800 baud, and a USB adapter's latency timer.
    static constexpr std::chrono::milliseconds kQuietTime{200};
    // A line that never falls silent is drained no longer than this.
    static constexpr std::chrono::milliseconds kDrainLimit{2000};
    // A line longer than this without a CR is no reply; the excess is dropped so that a peer
    // sending garbage cannot grow memory without bound.
    static constexpr qsizetype kMaxLineLength = 64 * 1024;

    explicit CommandExchange(QObject* parent = nullptr);

    // Switch only while idle.
    void setChannel(LineChannel* channel);
    LineChannel* channel() const { return m_channel; }
    // A newly opened line: nothing from an earlier one is owed or known.
    void resetLine();

    // The version text the indicator's ";C4" answer shows (from its first 'V'); the only answer
    // that can be told apart from all others, so the one that proves the line is in step again.
    // Empty: the line is only drained.
    void setVersionText(const QByteArray& version) { m_versionText = version; }
    QByteArray versionText() const { return m_versionText; }

    // Writes the line (the caller includes the CR) and returns at once; exactly one
    // commandFinished() and finished(ok) follow, always from the event loop. Returns the
    // command's number, which commandFinished() names. Calling while busy is a programming
    // error: the call is logged and ignored, and 0 returned.
    quint64 sendCommand(const QByteArray& command, std::chrono::milliseconds timeout);
    // Asks for the version: an in-step point. Finishes like a command: ok when the answer came
    // with no surplus line since the last in-step point; Voided when surplus lines came (the line
    // is in step again all the same); OutOfStep when the indicator never answered with its
    // version. With no version known yet, the line is drained and the answer to ;C4 becomes it
    // (NoReply when none comes).
    quint64 proveInStep(std::chrono::milliseconds timeout);
    bool isBusy() const { return m_phase != Phase::Idle; }
    // Gives up the pending command without an outcome, for a caller that closes the channel
    // next: nothing is emitted for it, and its answers count as owed.
    void abandon();
    // ACK or NAK lines since the last in-step point that no pending command took.
    int surplusLines() const { return m_surplus; }
    // Every ACK (A) and NAK (N) line, in the order it came, between the last two in-step points,
    // whether a command took it or not: what a caller needs to tell an indicator that answers
    // everything twice from one whose answers are out of place.
    const QByteArray& answersOfLastStretch() const { return m_lastAnswers; }
    // The same since the last in-step point.
    const QByteArray& answersSinceInStep() const { return m_answers; }
    // True when answers may still be owed from an earlier command: the next command is then
    // preceded by the version probe.
    bool isOutOfStep() const { return m_outOfStep; }

    Reply replyState() const { return m_replyState; }
    QByteArray replyText() const { return m_replyText; }
    QByteArray rxBuffer() const { return m_lines.pending(); }
    bool timeoutFlag() const { return m_timeoutFlag; }
    Failure lastFailure() const { return m_lastFailure; }
    // What the channel said when it was lost during the last command.
    const ChannelFailure& lostFailure() const { return m_lostFailure; }
    QString lostReason() const { return m_lostFailure.detail; }
    // Attempts beyond the first of each command, since the exchange was made.
    quint64 retryCount() const { return m_retryCount; }

    // The indicator the log lines name (a fleet's target); empty: none.
    void setLogName(const QString& name)
    {
        m_logName = name;
        m_lines.setLogName(name);
    }
    const QString& logName() const { return m_logName; }

    // Tests shorten the quiet time.
    void setQuietTime(std::chrono::milliseconds quiet) { m_quietTime = quiet; }

signals:
    // The command numbered `command` has ended. A slot may send the next command at once; the
    // other slots of the same emission still hear the number of the one that ended, so a
    // client that counts only its own numbers never takes another client's outcome for its
    // own, even when it starts inside that client's end.
    void commandFinished(quint64 command, bool ok);
    void finished(bool ok);
    // The reply line that decided a command; for the traffic trace and its tests.
    void replyTaken(const QByteArray& command, const QByteArray& reply);

private:
    class Scope;
    friend class Scope;
    enum class Phase { Idle, Drain, Probe, Attempt, Finishing };
    // What follows a drain.
    enum class Next { Probe, Attempt };

    void begin(const QByteArray& command, std::chrono::milliseconds timeout, bool proving);
    void startAttempt();
    void startProbe();
    void startDrain(Next next);
    void onBytesReceived(const QByteArray& bytes);
    void takeLine(const QByteArray& line);
    void takeAttemptLine(const QByteArray& line, Reply state);
    void reachInStep(const QByteArray& line);
    void dropLine(const QByteArray& line, Reply state, const char* why);
    void onTimerTick();
    void onAttemptTimedOut();
    void onChannelLost(const ChannelFailure& failure);
    bool write(const QByteArray& bytes);
    void onWriteRefused();
    void finish(bool ok, Failure failure);
    void deliverFinished();
    bool carriesVersion(const QByteArray& line) const;

    QPointer<LineChannel> m_channel;
    QString m_logName;
    // Times the attempt, the probe and the quiet wait, one at a time.
    QTimer m_waitTimer;
    Phase m_phase = Phase::Idle;
    Next m_afterDrain = Next::Attempt;
    QByteArray m_command;
    std::chrono::milliseconds m_timeout{0};
    std::chrono::milliseconds m_quietTime = kQuietTime;
    QElapsedTimer m_drainClock;
    int m_attempts = 0;
    int m_probes = 0;
    Reply m_replyState = Reply::Waiting;
    QByteArray m_replyText;
    ReplyLines m_lines{kMaxLineLength};
    // The bytes in RxBuffer arrived before the pending command was sent, so the line they start
    // cannot answer it.
    bool m_rxStale = false;
    // The command is an in-step probe (proveInStep), not a caller's command.
    bool m_proving = false;
    int m_surplus = 0;
    // The A and N of the ACK and NAK lines since the last in-step point, and those between the
    // last two.
    QByteArray m_answers;
    QByteArray m_lastAnswers;
    bool m_timeoutFlag = false;
    bool m_outOfStep = false;
    QByteArray m_versionText;
    Failure m_lastFailure = Failure::None;
    ChannelFailure m_lostFailure;
    bool m_result = false;
    // Non-zero while SendCommand, a write or a receipt is handled: an outcome reached then is
    // delivered afterwards, so that no caller sees finished() before its call returns, a receipt
    // is split whole before the next command can go out, and chained commands never deepen the
    // stack.
    int m_syncDepth = 0;
    bool m_deliveryOwed = false;
    quint64 m_retryCount = 0;
    quint64 m_commandNumber = 0;
};
