#include "ticket/Downloader.h"

#include "link/CommandExchange.h"
#include "platform/LogSource.h"
#include "platform/TextRoutines.h"

namespace {
constexpr int kOptionalIndex = SlotTable::kOptionalSlot - 1;

} // namespace

Downloader::Downloader(CommandExchange& exchange, QObject* parent)
    : QObject(parent)
    , m_exchange(exchange)
{
    connect(&m_exchange, &CommandExchange::commandFinished, this, &Downloader::onExchangeFinished);
}

Downloader::~Downloader() = default;

std::chrono::milliseconds Downloader::elapsed() const
{
    return std::chrono::milliseconds(m_run.clock.isValid() ? m_run.clock.elapsed() : 0);
}

void Downloader::start(const SlotTable::Contents& contents)
{
    if (isRunning())
        return;
    m_run = Run{};
    m_run.running = true;
    m_run.clock.start();
    emit started();

    if (const LayoutFault fault = checkLayout(contents); !fault.isNone()) {
        m_run.outcome = Outcome::Refused;
        DownloadNotice notice = noticeOf(DownloadNotice::Kind::LayoutRefused);
        notice.layout = fault;
        report(notice, &Downloader::finish);
        return;
    }
    if (m_exchange.isBusy()) {
        m_run.outcome = Outcome::Refused;
        report(noticeOf(DownloadNotice::Kind::Busy), &Downloader::finish);
        return;
    }

    emit phaseChanged(Phase::Preparing);
    m_run.sequence = DownloadSequence(makeDownloadPlan(contents));
    m_run.totalBytes = m_run.sequence.plan().totalBytes();
    for (int s = 0; s < SlotTable::kSlotCount; ++s)
        m_run.holdsData[s] = !contents[s].isEmpty();
    emit phaseChanged(Phase::Clearing);
    // The opening in-step point: answers owed to anything before the download are set aside.
    prove();
}

void Downloader::cancel()
{
    if (isRunning())
        m_run.cancelRequested = true;
}

void Downloader::abandon()
{
    if (!isRunning())
        return;
    // An outcome already decided stands: the pointer pass is over and only a notice is open.
    if (m_run.outcome == Outcome::None)
        m_run.outcome = Outcome::Cancelled;
    finish();
}

void Downloader::proceed()
{
    if (const Next next = std::exchange(m_run.afterNotice, nullptr))
        (this->*next)();
}

// Sends the next command, or closes the stretch with an in-step point first when one is due.
void Downloader::advance()
{
    if (m_run.cancelRequested) {
        endCancelled();
        return;
    }
    if (proofDue()) {
        prove();
        return;
    }
    announce();
    if (m_run.cursor == m_run.sequence.end()) {
        endOfPointerPass();
        return;
    }
    send(m_run.cursor);
}

bool Downloader::proofDue() const
{
    const Run& r = m_run;
    if (r.cursor == r.stretchStart)
        return false;
    // The passes meet at in-step points: no data goes out before the table is proven cleared,
    // and no pointer entry before every data block is proven.
    if (r.cursor == r.sequence.dataBegin() || r.cursor == r.sequence.pointerBegin() ||
        r.cursor == r.sequence.end() || r.cursor - r.stretchStart >= r.stretchLength)
        return true;
    // Some answer already matched no command: whatever follows is void anyway, unless so far
    // every write has been answered exactly twice.
    if (m_exchange.surplusLines() > 0 && !pairedSoFar())
        return true;
    // A ticket counts as stored as soon as its own pointer entry is proven.
    const int last = r.cursor - 1;
    return passOf(last) == DownloadPass::Pointers && r.holdsData[slotOf(last)];
}

void Downloader::prove()
{
    m_run.proving = true;
    ++m_run.probesSent;
    m_run.awaitedCommand = m_exchange.proveInStep(m_timeout);
}

void Downloader::send(int index)
{
    m_run.proving = false;
    ++m_run.commandsSent;
    const QByteArray command = commandAt(index);
    if (index < m_run.sentBefore)
        qCDebug(lcExchange).noquote()
            << LogSource{m_exchange.logName()}
            << "re-sent:" << TextRoutines::describeBytes(command).constData();
    m_run.sentBefore = std::max(m_run.sentBefore, index + 1);
    m_run.awaitedCommand = m_exchange.sendCommand(command, m_timeout);
}

// The passes as they begin; a download with no data passes the data pass all the same.
void Downloader::announce()
{
    if (!m_run.dataAnnounced && m_run.cursor >= m_run.sequence.dataBegin()) {
        m_run.dataAnnounced = true;
        emit phaseChanged(Phase::Data);
    }
    if (!m_run.pointersAnnounced && m_run.cursor >= m_run.sequence.pointerBegin()) {
        m_run.pointersAnnounced = true;
        emit phaseChanged(Phase::Pointers);
    }
}

void Downloader::emitBlockDone(int block)
{
    const qint32 position = m_run.sequence.plan().dataBlocks[block].position;
    emit blockDone(position, std::min(position + DownloadPlan::kBlockSize - 1, totalBytes()));
}

void Downloader::onExchangeFinished(quint64 command, bool ok)
{
    // The exchange also serves the indicator query; only answers to our own commands count.
    if (command == 0 || command != m_run.awaitedCommand)
        return;
    m_run.awaitedCommand = 0;

    const CommandExchange::Failure failure = m_exchange.lastFailure();
    if (failure == CommandExchange::Failure::ChannelLost) {
        m_run.outcome = Outcome::Lost;
        stop(DownloadNotice::Cause::Lost,
             m_run.proving ? std::max(m_run.cursor - 1, 0) : m_run.cursor);
        return;
    }
    if (m_run.proving) {
        afterProof();
        return;
    }
    if (failure == CommandExchange::Failure::OutOfStep) {
        m_run.outcome = Outcome::Stopped;
        stop(DownloadNotice::Cause::StoppedAnswering, m_run.cursor);
        return;
    }
    if (!ok) {
        // A refusal or a silence is acted on only once an in-step point proves it was the
        // indicator's answer to this very write.
        m_run.failed = {m_run.cursor, failure == CommandExchange::Failure::Nak};
        ++m_run.cursor;
        prove();
        return;
    }
    m_run.resent = false;
    if (passOf(m_run.cursor) == DownloadPass::Data)
        emitBlockDone(blockOf(m_run.cursor));
    ++m_run.cursor;
    advance();
}

void Downloader::afterProof()
{
    m_run.proving = false;
    switch (m_exchange.lastFailure()) {
    case CommandExchange::Failure::None:
        break;
    case CommandExchange::Failure::Voided:
        // Nothing was judged since the last in-step point: nothing to send again.
        if (m_run.cursor != m_run.stretchStart && !answeredTwice()) {
            voidStretch();
            return;
        }
        break;
    case CommandExchange::Failure::Nak:
    case CommandExchange::Failure::NoReply:
    case CommandExchange::Failure::OutOfStep:
    case CommandExchange::Failure::ChannelLost:
        m_run.outcome = Outcome::Stopped;
        stop(DownloadNotice::Cause::StoppedAnswering, std::max(m_run.cursor - 1, 0));
        return;
    }
    commit();
}

bool Downloader::pairedSoFar() const
{
    const QByteArray& answers = m_exchange.answersSinceInStep();
    if (answers.size() != 2 * (m_run.cursor - m_run.stretchStart))
        return false;
    for (qsizetype i = 0; i < answers.size(); i += 2) {
        if (answers[i] != answers[i + 1])
            return false;
    }
    return true;
}

// Every write of the stretch was answered exactly twice, in order, and the pairs say what the
// writes were judged: an indicator that doubles its answers (or a repeater that copies them)
// proves the stretch as well as one that answers once. Any other count leaves it void.
bool Downloader::answeredTwice() const
{
    const QByteArray& answers = m_exchange.answersOfLastStretch();
    const int writes = m_run.cursor - m_run.stretchStart;
    // A last write that failed without an answer has none to pair.
    const bool lastFailed = m_run.failed.index == m_run.cursor - 1;
    const int answered = lastFailed && !m_run.failed.refused ? writes - 1 : writes;
    if (writes <= 0 || answers.size() != 2 * answered)
        return false;
    for (int i = 0; i < answered; ++i) {
        const char judged = i == writes - 1 && lastFailed ? 'N' : 'A';
        if (answers[2 * i] != judged || answers[2 * i + 1] != judged)
            return false;
    }
    qCInfo(lcExchange).noquote() << LogSource{m_exchange.logName()} << "every answer of" << answered
                                 << (answered == 1 ? "write" : "writes") << "came twice; proven";
    return true;
}

// Some answer since the last in-step point matched no command, so none of them can be trusted:
// the stretch goes out again from its first write.
void Downloader::voidStretch()
{
    if (++m_run.voids > kMaxVoids) {
        m_run.outcome = Outcome::Stopped;
        stop(DownloadNotice::Cause::Unmatched, m_run.stretchStart);
        return;
    }
    const int count = m_run.cursor - m_run.stretchStart;
    qCInfo(lcExchange).noquote()
        << LogSource{m_exchange.logName()}
        << "stretch voided: an answer since the last in-step point matched no command; sending"
        << count << (count == 1 ? "write" : "writes") << "again from"
        << TextRoutines::describeBytes(commandAt(m_run.stretchStart)).constData();
    m_run.cursor = m_run.stretchStart;
    m_run.failed = {};
    // Voided twice in a row: one write at a time, so that a command the indicator always answers
    // twice ends up alone and is proven by its two answers.
    m_run.stretchLength = m_run.voids >= 2 ? 1 : kShortStretchLength;
    advance();
}

// The stretch is proven: its acknowledged pointer entries store their tickets, and a failed
// write at its end is now known to be the indicator's answer.
void Downloader::commit()
{
    Run& r = m_run;
    r.voids = 0;
    r.stretchLength = std::min(2 * r.stretchLength, kStretchLength);
    const int provenEnd = r.failed.index >= 0 ? r.failed.index : r.cursor;
    for (int i = std::max(r.stretchStart, r.sequence.pointerBegin()); i < provenEnd; ++i) {
        const int s = slotOf(i);
        r.stored[s] =
            r.holdsData[s] && !r.faults[s].failed && !(s == kOptionalIndex && r.slot7Failed);
    }
    if (!r.opened) {
        r.opened = true;
        qCDebug(lcExchange) << LogSource{m_exchange.logName()}
                            << "download opened at an in-step point";
    } else {
        qCDebug(lcExchange).noquote()
            << LogSource{m_exchange.logName()} << "in-step point: commands" << r.stretchStart + 1
            << "to" << r.cursor << "proven";
    }
    r.stretchStart = r.cursor;
    if (r.failed.index < 0) {
        advance();
        return;
    }
    judgeFailure(std::exchange(r.failed, {}));
}

void Downloader::judgeFailure(FailedWrite failed)
{
    // Unanswered: sent once more, as a stretch of its own.
    if (!failed.refused && !m_run.resent && !m_run.cancelRequested) {
        m_run.resent = true;
        m_run.cursor = m_run.stretchStart = failed.index;
        advance();
        return;
    }
    m_run.resent = false;
    if (passOf(failed.index) == DownloadPass::Data)
        failedBlock(failed);
    else
        failedEntry(failed);
}

// A failed block is reported and the data pass goes on; its slots stay unpointed.
void Downloader::failedBlock(FailedWrite failed)
{
    const int block = blockOf(failed.index);
    DownloadNotice notice = noticeOf(DownloadNotice::Kind::DataError);
    notice.address = addressOf(failed.index);
    notice.refused = failed.refused;
    notice.slotNumbers = slotsOfBlock(block);
    for (const int s : std::as_const(notice.slotNumbers)) {
        DownloadNotice::SlotFault& fault = m_run.faults[s - 1];
        if (!fault.failed)
            fault = {true, failed.refused, notice.address};
    }
    m_run.failedBlock = block;
    report(notice, &Downloader::afterFailedBlock);
}

// A failed pointer entry ends the download, but for slot 7's, which the indicator may lack.
void Downloader::failedEntry(FailedWrite failed)
{
    const int s = slotOf(failed.index);
    if (s == kOptionalIndex) {
        m_run.slot7Failed = true;
        advance();
        return;
    }
    m_run.outcome = Outcome::Refused;
    DownloadNotice notice = noticeOf(DownloadNotice::Kind::PointerError);
    notice.pass = passOf(failed.index);
    notice.slotNumbers = {s + 1};
    notice.address = addressOf(failed.index);
    notice.refused = failed.refused;
    report(notice, &Downloader::finish);
}

void Downloader::afterFailedBlock()
{
    emitBlockDone(std::exchange(m_run.failedBlock, -1));
    advance();
}

void Downloader::endOfPointerPass()
{
    const bool anyFault = std::any_of(m_run.faults.begin(), m_run.faults.end(),
                                      [](const auto& fault) { return fault.failed; });
    const bool slot7Lost = m_run.slot7Failed && m_run.holdsData[kOptionalIndex];
    if (!anyFault && !slot7Lost) {
        m_run.outcome = Outcome::Stored;
        finish();
        return;
    }
    m_run.outcome = Outcome::Refused;
    report(noticeOf(DownloadNotice::Kind::NotStored), &Downloader::finish);
}

void Downloader::endCancelled()
{
    m_run.outcome = Outcome::Cancelled;
    report(noticeOf(DownloadNotice::Kind::Cancelled), &Downloader::finish);
}

// The download had to stop: why, at which command, and what the indicator holds now.
void Downloader::stop(DownloadNotice::Cause cause, int index)
{
    DownloadNotice notice = noticeOf(DownloadNotice::Kind::Stopped);
    notice.cause = cause;
    if (cause == DownloadNotice::Cause::Lost)
        notice.lost = m_exchange.lostFailure();
    index = std::min(index, m_run.sequence.end() - 1);
    notice.pass = passOf(index);
    notice.slotNumbers = notice.pass == DownloadPass::Data ? slotsOfBlock(blockOf(index))
                                                           : QList<int>{slotOf(index) + 1};
    notice.address = addressOf(index);
    report(notice, &Downloader::finish);
}

DownloadNotice Downloader::noticeOf(DownloadNotice::Kind kind) const
{
    DownloadNotice notice;
    notice.kind = kind;
    notice.opened = m_run.opened;
    notice.faults = m_run.faults;
    notice.slot7Failed = m_run.slot7Failed && m_run.holdsData[kOptionalIndex];
    notice.sent = m_run.holdsData;
    notice.stored = m_run.stored;
    return notice;
}

void Downloader::report(const DownloadNotice& told, Next next)
{
    m_run.afterNotice = next;
    emit notice(told);
    if (!m_holdOnNotice)
        proceed();
}

void Downloader::finish()
{
    if (!isRunning())
        return;
    m_run.running = false;
    m_run.awaitedCommand = 0;
    m_run.afterNotice = nullptr;
    m_run.cancelRequested = false;
    m_run.resent = false;
    m_run.proving = false;
    m_run.sequence = DownloadSequence{};
    emit finished();
}
