#pragma once

#include "platform/LineChannel.h"

#include <QByteArray>
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
class CommandExchange : public QObject {
    Q_OBJECT
public:
    enum class Failure { None, Nak, NoReply, ChannelLost };
    Q_ENUM(Failure)

    static constexpr int kMaxAttempts = 3;
    static constexpr std::chrono::milliseconds kLoneCrPause{5};
    // A line longer than this without a CR is no reply; the excess is dropped so that a peer
    // sending garbage cannot grow memory without bound.
    static constexpr qsizetype kMaxLineLength = 64 * 1024;

    explicit CommandExchange(QObject* parent = nullptr);

    // Switch only while idle. The receive handler classifies every complete line of the
    // current channel, also while no command is pending.
    void setChannel(LineChannel* channel);
    LineChannel* channel() const { return m_channel; }

    // Writes the line (the caller includes the CR) and returns at once; exactly one
    // finished(ok) follows, always from the event loop. Calling while busy is a programming
    // error: the call is logged and ignored.
    void SendCommand(const QByteArray& command, std::chrono::milliseconds timeout);
    bool isBusy() const { return m_phase != Phase::Idle; }

    char ReplyState() const { return m_replyState; } // 'W', 'A', 'N', 'R'
    QByteArray ReplyText() const { return m_replyText; }
    QByteArray RxBuffer() const { return m_rxBuffer; }
    bool TimeoutFlag() const { return m_timeoutFlag; }
    Failure lastFailure() const { return m_lastFailure; }
    QTimer& tmrGlobal() { return m_tmrGlobal; }

    // Bytes as the log shows them: printable ASCII as is, control bytes named (<ACK>, <CR>,
    // <0x1B>, ...).
    static QByteArray describeBytes(const QByteArray& bytes);

signals:
    void finished(bool ok);

private:
    enum class Phase { Idle, Attempt, Pause, Finishing };

    void startAttempt();
    void onBytesReceived(const QByteArray& bytes);
    void onTimerTick();
    void onChannelLost(const QString& reason);
    bool write(const QByteArray& bytes);
    void onWriteRefused();
    void finish(bool ok, Failure failure);
    void deliverFinished();

    QPointer<LineChannel> m_channel;
    QTimer m_tmrGlobal;
    Phase m_phase = Phase::Idle;
    QByteArray m_command;
    std::chrono::milliseconds m_timeout{0};
    int m_attempts = 0;
    char m_replyState = 'W';
    QByteArray m_replyText;
    QByteArray m_rxBuffer;
    bool m_timeoutFlag = false;
    Failure m_lastFailure = Failure::None;
    bool m_result = false;
    // Non-zero while SendCommand or a write runs: an outcome reached then (a peer answering
    // inside the write, say) is delivered later, from the event loop, so that no caller sees
    // finished() before its call returns and chained commands never deepen the stack.
    int m_syncDepth = 0;
    qsizetype m_droppedBytes = 0;
};
