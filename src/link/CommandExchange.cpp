#include "link/CommandExchange.h"

#include "link/CommandExchangeScope.h"
#include "link/IndicatorProtocol.h"
#include "platform/LogSource.h"
#include "platform/TextRoutines.h"

#include <QTime>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcExchange, "talvor.exchange", QtInfoMsg)

namespace {

using IndicatorProtocol::kAck;
using IndicatorProtocol::kCr;
using IndicatorProtocol::kNak;

// Wall-clock time in the log lines, so that traffic can be matched with what the operator saw.
QString stamp()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

using Reply = CommandExchange::Reply;

Reply classify(const QByteArray& line)
{
    return line.contains(kNak) ? Reply::Nak : line.contains(kAck) ? Reply::Ack : Reply::Text;
}

// The letter the traffic log shows for a reply.
char letter(Reply reply)
{
    return static_cast<char>(reply);
}

} // namespace

CommandExchange::CommandExchange(QObject* parent)
    : QObject(parent)
{
    m_waitTimer.setSingleShot(true);
    // A coarse timer may fire 5 % early; the stated time-outs are minimums.
    m_waitTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_waitTimer, &QTimer::timeout, this, &CommandExchange::onTimerTick);
}

void CommandExchange::setChannel(LineChannel* channel)
{
    if (channel == m_channel)
        return;
    if (isBusy()) {
        qCWarning(lcExchange) << LogSource{m_logName}
                              << "channel switch while a command is pending; ignored";
        return;
    }
    if (m_channel)
        disconnect(m_channel, nullptr, this, nullptr);
    m_channel = channel;
    resetLine();
    if (!channel)
        return;
    connect(channel, &LineChannel::bytesReceived, this, &CommandExchange::onBytesReceived);
    connect(channel, &LineChannel::failed, this, &CommandExchange::onChannelLost);
    connect(channel, &QObject::destroyed, this, [this] {
        onChannelLost(ChannelFailure::of(ChannelFailure::Kind::PeerClosed, 0,
                                         QStringLiteral("channel destroyed")));
    });
}

void CommandExchange::resetLine()
{
    if (isBusy()) {
        qCWarning(lcExchange) << LogSource{m_logName}
                              << "line reset while a command is pending; ignored";
        return;
    }
    m_lines.clear();
    m_rxStale = false;
    m_outOfStep = false;
    m_surplus = 0;
    m_answers.clear();
    m_lastAnswers.clear();
    m_versionText.clear();
}

quint64 CommandExchange::sendCommand(const QByteArray& command, std::chrono::milliseconds timeout)
{
    if (isBusy()) {
        qCWarning(lcExchange).noquote()
            << LogSource{m_logName} << "command while another is pending; ignored:"
            << TextRoutines::describeBytes(command).constData();
        return 0;
    }
    const quint64 number = ++m_commandNumber;
    const Scope scope(*this, false);
    begin(command, timeout, false);
    if (m_outOfStep)
        startDrain(Next::Probe);
    else
        startAttempt();
    return number;
}

quint64 CommandExchange::proveInStep(std::chrono::milliseconds timeout)
{
    if (isBusy()) {
        qCWarning(lcExchange) << LogSource{m_logName}
                              << "in-step probe while a command is pending; ignored";
        return 0;
    }
    const quint64 number = ++m_commandNumber;
    const Scope scope(*this, false);
    begin(IndicatorProtocol::kVersionCommand, timeout, true);
    if (m_versionText.isEmpty())
        startDrain(Next::Attempt); // a quiet line, then ;C4 tells the version
    else if (m_outOfStep)
        startDrain(Next::Probe);
    else
        startProbe();
    return number;
}

void CommandExchange::begin(const QByteArray& command, std::chrono::milliseconds timeout,
                            bool proving)
{
    m_command = command;
    m_proving = proving;
    m_timeout = timeout;
    m_replyState = Reply::Waiting;
    m_replyText.clear();
    m_attempts = 0;
    m_probes = 0;
    m_timeoutFlag = false;
    m_lastFailure = Failure::None;
    m_lostFailure = {};
}

void CommandExchange::abandon()
{
    if (!isBusy())
        return;
    m_waitTimer.stop();
    m_phase = Phase::Idle;
    m_proving = false;
    m_deliveryOwed = false;
    m_outOfStep = true;
}

void CommandExchange::startAttempt()
{
    m_phase = Phase::Attempt;
    // Bytes already waiting arrived before this attempt went out: the line they start is stale.
    // Bytes the cleaning of a reply removes end or pad a line and start none.
    m_rxStale = !TextRoutines::stripControlChars(m_lines.pending()).isEmpty();
    m_waitTimer.stop();
    m_waitTimer.setInterval(m_timeout);
    m_timeoutFlag = false;
    m_waitTimer.start();
    if (m_attempts > 0)
        ++m_retryCount;
    qCDebug(lcExchange).noquote() << LogSource{m_logName} << stamp() << "->"
                                  << TextRoutines::describeBytes(m_command).constData() << "attempt"
                                  << m_attempts + 1;
    if (!write(m_command))
        onWriteRefused();
}

void CommandExchange::startProbe()
{
    m_phase = Phase::Probe;
    // Bytes the cleaning of a reply removes end or pad a line and start none.
    m_rxStale = !TextRoutines::stripControlChars(m_lines.pending()).isEmpty();
    ++m_probes;
    m_waitTimer.stop();
    m_waitTimer.setInterval(m_timeout);
    m_waitTimer.start();
    qCDebug(lcExchange).noquote()
        << LogSource{m_logName} << stamp() << "->"
        << TextRoutines::describeBytes(IndicatorProtocol::kVersionCommand).constData() << "probe"
        << m_probes << (m_proving ? "for an in-step point" : "to bring the line back in step");
    if (!write(IndicatorProtocol::kVersionCommand))
        onWriteRefused();
}

void CommandExchange::startDrain(Next next)
{
    m_phase = Phase::Drain;
    m_afterDrain = next;
    m_drainClock.start();
    m_waitTimer.stop();
    m_waitTimer.setInterval(m_quietTime);
    m_waitTimer.start();
}

bool CommandExchange::write(const QByteArray& bytes)
{
    if (!m_channel)
        return false;
    const Scope scope(*this, false);
    return m_channel->writeBytes(bytes);
}

void CommandExchange::onWriteRefused()
{
    // A channelLost emitted inside the write may have ended the exchange already.
    if (m_phase == Phase::Idle || m_phase == Phase::Finishing)
        return;
    qCDebug(lcExchange).noquote() << LogSource{m_logName} << stamp() << "write refused by"
                                  << (m_channel ? m_channel->channelName()
                                                : QStringLiteral("no channel"));
    finish(false, Failure::ChannelLost);
}

void CommandExchange::onBytesReceived(const QByteArray& bytes)
{
    const Scope scope(*this, true);
    if (m_phase == Phase::Drain) {
        // Not quiet yet; but a line that never falls silent is drained no longer than the limit.
        const auto left = kDrainLimit - std::chrono::milliseconds(m_drainClock.elapsed());
        if (left > std::chrono::milliseconds::zero())
            m_waitTimer.start(std::min(m_quietTime, left));
    }
    // Every line of the receipt is taken before the outcome is delivered, so that none of them
    // can be mistaken for the answer to a command sent from the finished() slot.
    for (const QByteArray& line : m_lines.take(bytes))
        takeLine(line);
}

void CommandExchange::takeLine(const QByteArray& line)
{
    const Reply state = classify(line);
    if (std::exchange(m_rxStale, false)) {
        dropLine(line, state, "it began before the command went out");
        return;
    }
    switch (m_phase) {
    case Phase::Attempt:
        takeAttemptLine(line, state);
        return;
    case Phase::Probe:
        // A NAK refuses, whatever else the line holds.
        if (state == Reply::Nak || !carriesVersion(line)) {
            dropLine(line, state, "not the answer to the probe");
            return;
        }
        if (m_proving) {
            reachInStep(line);
            return;
        }
        qCInfo(lcExchange).noquote() << LogSource{m_logName} << stamp() << "line back in step after"
                                     << m_probes << (m_probes == 1 ? "probe" : "probes");
        m_outOfStep = false;
        startAttempt();
        return;
    case Phase::Drain:
        dropLine(line, state, "owed to an earlier command");
        return;
    case Phase::Idle:
    case Phase::Finishing:
        dropLine(line, state, "no command is pending");
        return;
    }
}

void CommandExchange::takeAttemptLine(const QByteArray& line, Reply state)
{
    // A time-out that fell due in the same pass as this line wins, whichever the event loop
    // happened to hand over first.
    if (m_waitTimer.isActive() && m_waitTimer.remainingTime() == 0) {
        m_waitTimer.stop();
        onAttemptTimedOut();
        dropLine(line, state, "it came with the time-out");
        return;
    }
    if (m_command != IndicatorProtocol::kVersionCommand && carriesVersion(line)) {
        dropLine(line, state, "a version answer owed to an earlier probe");
        return;
    }
    // The indicator answers a write with ACK or NAK; any other line is not that answer.
    if (state == Reply::Text && IndicatorProtocol::isWrite(m_command)) {
        dropLine(line, state, "a write is answered by ACK or NAK");
        return;
    }
    if (m_proving && state != Reply::Nak) {
        // No version was known: after a quiet line, the answer to ;C4 tells it. A line of control
        // bytes alone (a stray ACK) tells nothing.
        const QByteArray version = IndicatorProtocol::versionText(line);
        if (std::none_of(version.begin(), version.end(), [](char c) { return uchar(c) > ' '; })) {
            dropLine(line, state, "no version in it");
            return;
        }
        m_versionText = version;
        reachInStep(line);
        return;
    }
    m_replyState = state;
    m_replyText = line;
    if (state != Reply::Text)
        m_answers.append(letter(state));
    qCDebug(lcExchange).noquote() << LogSource{m_logName} << stamp() << "<-"
                                  << TextRoutines::describeBytes(line).constData() << "state"
                                  << letter(state);
    emit replyTaken(m_command, line);
    finish(state != Reply::Nak, state == Reply::Nak ? Failure::Nak : Failure::None);
}

// The version answer to an in-step probe: every judgement since the last in-step point is proven,
// or, if some ACK or NAK came that no command took, void.
void CommandExchange::reachInStep(const QByteArray& line)
{
    const int surplus = std::exchange(m_surplus, 0);
    m_lastAnswers = std::exchange(m_answers, QByteArray());
    m_outOfStep = false;
    m_replyState = classify(line);
    m_replyText = line;
    qCDebug(lcExchange).noquote() << LogSource{m_logName} << stamp() << "<-"
                                  << TextRoutines::describeBytes(line).constData()
                                  << "in-step point;" << surplus << "surplus since the last";
    emit replyTaken(m_command, line);
    finish(surplus == 0, surplus == 0 ? Failure::None : Failure::Voided);
}

void CommandExchange::dropLine(const QByteArray& line, Reply state, const char* why)
{
    // An ACK or NAK that no command took: some answer is not where timing put it. The version
    // answer, which may come twice too, is known by its text and answers no write.
    const bool surplus = state != Reply::Text && !carriesVersion(line);
    if (surplus) {
        ++m_surplus;
        m_answers.append(letter(state));
    }
    qCDebug(lcExchange).noquote() << LogSource{m_logName} << stamp() << "<-"
                                  << TextRoutines::describeBytes(line).constData()
                                  << "dropped:" << why << (surplus ? "(surplus)" : "");
}

bool CommandExchange::carriesVersion(const QByteArray& line) const
{
    return !m_versionText.isEmpty() && IndicatorProtocol::versionText(line) == m_versionText;
}

void CommandExchange::onTimerTick()
{
    switch (m_phase) {
    case Phase::Attempt:
        onAttemptTimedOut();
        return;
    case Phase::Probe:
        qCDebug(lcExchange).noquote()
            << LogSource{m_logName} << stamp() << "probe" << m_probes << "unanswered";
        // Its answer may still come, and must not be taken for the next command's.
        m_outOfStep = true;
        if (m_probes < kMaxAttempts) {
            startDrain(Next::Probe);
            return;
        }
        qCWarning(lcExchange).noquote() << LogSource{m_logName} << stamp()
                                        << "the line could not be brought back in step; not sent:"
                                        << TextRoutines::describeBytes(m_command).constData();
        // Maybe another indicator answers now: the next command is preceded by a drain only,
        // and the next query learns its version.
        m_versionText.clear();
        finish(false, Failure::OutOfStep);
        return;
    case Phase::Drain:
        if (m_afterDrain == Next::Probe) {
            if (!m_versionText.isEmpty()) {
                startProbe();
                return;
            }
            // Without a known version there is nothing to probe with; the quiet line must do.
            m_outOfStep = false;
        }
        startAttempt();
        return;
    case Phase::Idle:
    case Phase::Finishing:
        return;
    }
}

void CommandExchange::onAttemptTimedOut()
{
    m_timeoutFlag = true;
    ++m_attempts;
    // Answers to this command or to the lone CR may still be on their way.
    m_outOfStep = true;
    qCDebug(lcExchange).noquote() << LogSource{m_logName} << stamp() << "time-out after"
                                  << m_timeout.count() << "ms; lone <CR>";
    const bool again = m_attempts < kMaxAttempts;
    // The phase changes before the write, so that an answer to the lone CR is never taken.
    startDrain(Next::Attempt);
    static const QByteArray loneCr(1, kCr);
    if (!write(loneCr)) {
        onWriteRefused();
        return;
    }
    if (!again && m_phase == Phase::Drain) {
        qCDebug(lcExchange).noquote()
            << LogSource{m_logName} << stamp() << "no reply after" << m_attempts << "attempts";
        finish(false, Failure::NoReply);
    }
}

void CommandExchange::onChannelLost(const ChannelFailure& failure)
{
    qCDebug(lcExchange).noquote() << LogSource{m_logName} << stamp()
                                  << "channel lost:" << failure.detail;
    if (m_phase == Phase::Idle || m_phase == Phase::Finishing)
        return;
    m_lostFailure = failure;
    finish(false, Failure::ChannelLost);
}

void CommandExchange::finish(bool ok, Failure failure)
{
    m_waitTimer.stop();
    m_result = ok;
    m_lastFailure = failure;
    m_phase = Phase::Finishing;
    m_proving = false;
    if (m_syncDepth > 0) {
        m_deliveryOwed = true;
        return;
    }
    deliverFinished();
}

void CommandExchange::deliverFinished()
{
    if (m_phase != Phase::Finishing)
        return;
    // Idle before the signals: a slot may send the next command at once.
    m_phase = Phase::Idle;
    const quint64 number = m_commandNumber;
    const bool result = m_result;
    emit commandFinished(number, result);
    emit finished(result);
}
