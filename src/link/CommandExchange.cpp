#include "link/CommandExchange.h"

#include <QTime>

Q_LOGGING_CATEGORY(lcExchange, "talvor.exchange", QtInfoMsg)

namespace {

constexpr char kCr = '\r';
constexpr char kAck = '\x06';
constexpr char kNak = '\x15';

// Wall-clock time in the log lines, so that traffic can be matched with what the operator saw.
QString stamp()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

// Marks a stretch of code during which an outcome must not be emitted at once.
class SyncScope {
public:
    explicit SyncScope(int& depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~SyncScope() { --m_depth; }
    SyncScope(const SyncScope&) = delete;
    SyncScope& operator=(const SyncScope&) = delete;

private:
    int& m_depth;
};

} // namespace

CommandExchange::CommandExchange(QObject* parent)
    : QObject(parent)
{
    m_tmrGlobal.setSingleShot(true);
    // A coarse timer may fire 5 % early; the stated time-outs are minimums.
    m_tmrGlobal.setTimerType(Qt::PreciseTimer);
    connect(&m_tmrGlobal, &QTimer::timeout, this, &CommandExchange::onTimerTick);
}

void CommandExchange::setChannel(LineChannel* channel)
{
    if (channel == m_channel)
        return;
    if (isBusy()) {
        qCWarning(lcExchange) << "channel switch while a command is pending; ignored";
        return;
    }
    if (m_channel)
        disconnect(m_channel, nullptr, this, nullptr);
    m_channel = channel;
    if (!channel)
        return;
    connect(channel, &LineChannel::bytesReceived, this, &CommandExchange::onBytesReceived);
    connect(channel, &LineChannel::channelLost, this, &CommandExchange::onChannelLost);
    connect(channel, &QObject::destroyed, this,
            [this] { onChannelLost(QStringLiteral("channel destroyed")); });
}

void CommandExchange::SendCommand(const QByteArray& command, std::chrono::milliseconds timeout)
{
    if (isBusy()) {
        qCWarning(lcExchange).noquote()
            << "command while another is pending; ignored:" << describeBytes(command).constData();
        return;
    }
    const SyncScope scope(m_syncDepth);
    m_command = command;
    m_timeout = timeout;
    m_replyState = 'W';
    m_replyText.clear();
    m_attempts = 0;
    m_lastFailure = Failure::None;
    // RxBuffer keeps what arrived before: it forms the start of the next line.
    startAttempt();
}

void CommandExchange::startAttempt()
{
    m_phase = Phase::Attempt;
    m_tmrGlobal.stop();
    m_tmrGlobal.setInterval(m_timeout);
    m_timeoutFlag = false;
    m_tmrGlobal.start();
    qCDebug(lcExchange).noquote() << stamp() << "->" << describeBytes(m_command).constData()
                                  << "attempt" << m_attempts + 1;
    if (!write(m_command))
        onWriteRefused();
}

bool CommandExchange::write(const QByteArray& bytes)
{
    if (!m_channel)
        return false;
    const SyncScope scope(m_syncDepth);
    return m_channel->writeBytes(bytes);
}

void CommandExchange::onWriteRefused()
{
    // A channelLost emitted inside the write may have ended the exchange already.
    if (m_phase != Phase::Attempt && m_phase != Phase::Pause)
        return;
    qCDebug(lcExchange).noquote() << stamp() << "write refused by"
                                  << (m_channel ? m_channel->channelName()
                                                : QStringLiteral("no channel"));
    finish(false, Failure::ChannelLost);
}

void CommandExchange::onBytesReceived(const QByteArray& bytes)
{
    // RxBuffer never holds a CR between receipts, so only the new bytes need searching, and the
    // cap is enforced before the line is split: an endless line stays bounded.
    const qsizetype cr = bytes.indexOf(kCr);
    const qsizetype head = cr < 0 ? bytes.size() : cr;
    const qsizetype room = kMaxLineLength - m_rxBuffer.size();
    if (head <= room) {
        m_rxBuffer.append(bytes);
    } else {
        if (m_droppedBytes == 0)
            qCWarning(lcExchange) << "reply line exceeds" << kMaxLineLength
                                  << "bytes without a CR; dropping the excess";
        m_droppedBytes += head - room;
        m_rxBuffer.append(bytes.constData(), room);
        if (cr >= 0)
            m_rxBuffer.append(bytes.constData() + cr, bytes.size() - cr);
    }
    if (cr < 0)
        return;

    // Whatever came after the CR in this receipt belongs to this line and is not carried over.
    m_replyText = m_rxBuffer;
    m_rxBuffer.clear();
    m_replyState = m_replyText.contains(kNak) ? 'N' : m_replyText.contains(kAck) ? 'A' : 'R';
    qCDebug(lcExchange).noquote() << stamp() << "<-" << describeBytes(m_replyText).constData()
                                  << "state" << m_replyState;
    if (m_droppedBytes > 0) {
        qCWarning(lcExchange) << "reply line completed after" << m_droppedBytes
                              << "excess bytes were dropped";
        m_droppedBytes = 0;
    }

    // A time-out that fell due in the same pass as this line wins, whichever the event loop
    // happened to hand over first: the lone CR goes out and the result is false.
    if (m_phase == Phase::Attempt && m_tmrGlobal.isActive() && m_tmrGlobal.remainingTime() == 0) {
        m_tmrGlobal.stop();
        onTimerTick();
        return;
    }
    // During the pause after a time-out the line is only recorded; the pause's end decides.
    if (m_phase == Phase::Attempt)
        finish(m_replyState != 'N', m_replyState == 'N' ? Failure::Nak : Failure::None);
}

void CommandExchange::onTimerTick()
{
    if (m_phase == Phase::Attempt) {
        m_timeoutFlag = true;
        qCDebug(lcExchange).noquote()
            << stamp() << "time-out after" << m_timeout.count() << "ms; lone <CR>";
        // Entering the pause first: an answer to the lone CR must not pass for a reply in time.
        m_phase = Phase::Pause;
        static const QByteArray loneCr(1, kCr);
        if (!write(loneCr)) {
            onWriteRefused();
            return;
        }
        if (m_phase != Phase::Pause)
            return;
        m_tmrGlobal.setInterval(kLoneCrPause);
        m_timeoutFlag = false;
        m_tmrGlobal.start();
        return;
    }
    if (m_phase != Phase::Pause)
        return;
    m_timeoutFlag = true;
    ++m_attempts;
    if (m_replyState == 'W' && m_attempts < kMaxAttempts) {
        qCDebug(lcExchange).noquote() << stamp() << "retry";
        startAttempt();
        return;
    }
    // A line that completed during the pause ends the attempts, but too late to count.
    qCDebug(lcExchange).noquote() << stamp() << "no reply after" << m_attempts << "attempts";
    finish(false, m_replyState == 'N' ? Failure::Nak : Failure::NoReply);
}

void CommandExchange::onChannelLost(const QString& reason)
{
    qCDebug(lcExchange).noquote() << stamp() << "channel lost:" << reason;
    if (m_phase != Phase::Attempt && m_phase != Phase::Pause)
        return;
    finish(false, Failure::ChannelLost);
}

void CommandExchange::finish(bool ok, Failure failure)
{
    m_tmrGlobal.stop();
    m_result = ok;
    m_lastFailure = failure;
    m_phase = Phase::Finishing;
    if (m_syncDepth > 0) {
        QMetaObject::invokeMethod(this, &CommandExchange::deliverFinished, Qt::QueuedConnection);
        return;
    }
    deliverFinished();
}

void CommandExchange::deliverFinished()
{
    if (m_phase != Phase::Finishing)
        return;
    // Idle before the signal: a slot may send the next command at once.
    m_phase = Phase::Idle;
    emit finished(m_result);
}

QByteArray CommandExchange::describeBytes(const QByteArray& bytes)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size() + 16);
    for (const char c : bytes) {
        const auto code = static_cast<uchar>(c);
        switch (code) {
        case 0x00:
            out += "<NUL>";
            break;
        case 0x06:
            out += "<ACK>";
            break;
        case 0x0A:
            out += "<LF>";
            break;
        case 0x0D:
            out += "<CR>";
            break;
        case 0x15:
            out += "<NAK>";
            break;
        default:
            if (code < 0x20 || code >= 0x7F) {
                out += "<0x";
                out += hex[code >> 4];
                out += hex[code & 0x0F];
                out += '>';
            } else {
                out += c;
            }
        }
    }
    return out;
}
