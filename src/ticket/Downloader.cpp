#include "ticket/Downloader.h"

#include "link/CommandExchange.h"
#include "platform/LogSource.h"
#include "platform/TextRoutines.h"
#include "platform/UiServices.h"

#include <QPointer>

namespace {
using IndicatorProtocol::hex4;

constexpr int kOptionalIndex = SlotTable::kOptionalSlot - 1;

// Marked here, translated where used: the translator is installed after these are made.
const char* const kTitle = QT_TRANSLATE_NOOP("Downloader", "Update Error");
const char* const kPointerError = QT_TRANSLATE_NOOP("Downloader", "Pointer Error");
const char* const kDataError = QT_TRANSLATE_NOOP("Downloader", "Data Error");
const char* const kSlot7Error =
    QT_TRANSLATE_NOOP("Downloader", "Error sending Truck Simple Weighing ticket.");
const char* const kBusy =
    QT_TRANSLATE_NOOP("Downloader", "The indicator is still answering another command. Nothing "
                                    "was sent; try the download again.");
// The pointer table is cleared before any data is written, so after a cancel the indicator
// never points at half-written data: it simply holds no valid ticket set.
const char* const kCancelled = QT_TRANSLATE_NOOP(
    "Downloader", "The download was cancelled. The indicator now holds no "
                  "valid ticket set; download the tickets again before using it.");
const char* const kNoValidSet = QT_TRANSLATE_NOOP(
    "Downloader", "The indicator's pointer table is cleared, so it holds no valid ticket set.");
const char* const kStoppedAnswering =
    QT_TRANSLATE_NOOP("Downloader", "The indicator stopped answering.");
const char* const kUnmatched =
    QT_TRANSLATE_NOOP("Downloader", "The indicator's answers could not be matched to the "
                                    "commands: it sent more answers than it was asked for, again "
                                    "and again.");

// "slot 1 (…)", "slot 1 (…) and slot 3 (…)", "slot 1 (…), slot 2 (…) and slot 3 (…)".
QString slotList(const QList<int>& slotNumbers)
{
    QStringList names;
    for (const int s : slotNumbers)
        names.append(SlotTable::slotName(s));
    if (names.size() < 2)
        return names.join(QString());
    const QString last = names.takeLast();
    return Downloader::tr("%1 and %2").arg(names.join(QStringLiteral(", ")), last);
}
} // namespace

Downloader::Downloader(CommandExchange& exchange, UiServices& ui, QObject* parent)
    : QObject(parent)
    , m_exchange(exchange)
    , m_ui(ui)
{
    connect(&m_exchange, &CommandExchange::commandFinished, this, &Downloader::onExchangeFinished);
}

Downloader::~Downloader() = default;

void Downloader::start(const std::array<QByteArray, DownloadPlan::kSlotCount>& contents)
{
    if (isRunning())
        return;
    m_cancelRequested = false;
    m_slot7Failed = false;
    m_resent = false;
    m_proving = false;
    m_opened = false;
    m_dataAnnounced = false;
    m_pointersAnnounced = false;
    m_failed = {};
    m_failedBlock = -1;
    m_faults = {};
    m_stored = {};
    m_outcome = Outcome::None;
    m_commandsSent = m_probesSent = m_writesResent = 0;
    m_totalBytes = 0;
    m_cursor = m_stretchStart = m_sentBefore = 0;
    m_stretchLength = kStretchLength;
    m_voids = 0;
    m_running = true;
    emit started();

    if (const QString fault = layoutFault(contents); !fault.isEmpty()) {
        report(fault, &Downloader::finish);
        return;
    }
    if (m_exchange.isBusy()) {
        report(tr(kBusy), &Downloader::finish);
        return;
    }

    emit phaseChanged(Phase::Preparing);
    m_plan = makeDownloadPlan(contents);
    m_totalBytes = m_plan.totalBytes();
    for (int s = 0; s < DownloadPlan::kSlotCount; ++s)
        m_holdsData[s] = !contents[s].isEmpty();
    m_dataBegin = DownloadPlan::kSlotCount;
    m_pointerBegin = m_dataBegin + int(m_plan.dataBlocks.size());
    m_end = m_pointerBegin + DownloadPlan::kSlotCount;
    emit phaseChanged(Phase::Clearing);
    // The opening in-step point: answers owed to anything before the download are set aside.
    prove();
}

void Downloader::cancel()
{
    if (isRunning())
        m_cancelRequested = true;
}

void Downloader::abandon()
{
    if (!isRunning())
        return;
    // An outcome already decided stands: the pointer pass is over and only a message is open.
    if (m_outcome == Outcome::None)
        m_outcome = Outcome::Cancelled;
    finish();
}

Downloader::Phase Downloader::phaseOf(int index) const
{
    return index < m_dataBegin      ? Phase::Clearing
           : index < m_pointerBegin ? Phase::Data
                                    : Phase::Pointers;
}

int Downloader::slotOf(int index) const
{
    return phaseOf(index) == Phase::Clearing ? index : index - m_pointerBegin;
}

QByteArray Downloader::commandAt(int index) const
{
    switch (phaseOf(index)) {
    case Phase::Preparing:
    case Phase::Clearing:
        return m_plan.clearingCommands[index];
    case Phase::Data:
        return m_plan.dataBlocks[blockOf(index)].command;
    case Phase::Pointers:
        break;
    }
    // A ticket that is not whole in the indicator must never be pointed at.
    const int s = slotOf(index);
    return m_faults[s].failed ? m_plan.clearingCommands[s] : m_plan.pointerCommands[s];
}

qint32 Downloader::addressOf(int index) const
{
    if (phaseOf(index) == Phase::Data)
        return m_plan.dataBlocks[blockOf(index)].position - 1;
    return IndicatorProtocol::pointerEntryAddress(slotOf(index));
}

// Sends the next command, or closes the stretch with an in-step point first when one is due.
void Downloader::advance()
{
    if (m_cancelRequested) {
        endCancelled();
        return;
    }
    if (proofDue()) {
        prove();
        return;
    }
    announce();
    if (m_cursor == m_end) {
        endOfPointerPass();
        return;
    }
    send(m_cursor);
}

bool Downloader::proofDue() const
{
    if (m_cursor == m_stretchStart)
        return false;
    // The passes meet at in-step points: no data goes out before the table is proven cleared,
    // and no pointer entry before every data block is proven.
    if (m_cursor == m_dataBegin || m_cursor == m_pointerBegin || m_cursor == m_end ||
        m_cursor - m_stretchStart >= m_stretchLength)
        return true;
    // Some answer already matched no command: whatever follows is void anyway.
    if (m_exchange.surplusLines() > 0)
        return true;
    // A ticket counts as stored as soon as its own pointer entry is proven.
    const int last = m_cursor - 1;
    return phaseOf(last) == Phase::Pointers && m_holdsData[slotOf(last)];
}

void Downloader::prove()
{
    m_proving = true;
    ++m_probesSent;
    m_awaitedCommand = m_exchange.proveInStep(m_timeout);
}

void Downloader::send(int index)
{
    m_proving = false;
    ++m_commandsSent;
    const QByteArray command = commandAt(index);
    if (index < m_sentBefore) {
        ++m_writesResent;
        qCDebug(lcExchange).noquote()
            << LogSource{m_exchange.logName()}
            << "re-sent:" << TextRoutines::describeBytes(command).constData();
    }
    m_sentBefore = std::max(m_sentBefore, index + 1);
    m_awaitedCommand = m_exchange.sendCommand(command, m_timeout);
}

// The passes as they begin; a download with no data passes the data pass all the same.
void Downloader::announce()
{
    if (!m_dataAnnounced && m_cursor >= m_dataBegin) {
        m_dataAnnounced = true;
        emit phaseChanged(Phase::Data);
    }
    if (!m_pointersAnnounced && m_cursor >= m_pointerBegin) {
        m_pointersAnnounced = true;
        emit phaseChanged(Phase::Pointers);
    }
}

void Downloader::emitBlockDone(int block)
{
    const qint32 position = m_plan.dataBlocks[block].position;
    emit blockDone(position, std::min(position + DownloadPlan::kBlockSize - 1, totalBytes()));
}

void Downloader::onExchangeFinished(quint64 command, bool ok)
{
    // The exchange also serves the indicator query; only answers to our own commands count.
    if (command == 0 || command != m_awaitedCommand)
        return;
    m_awaitedCommand = 0;

    const CommandExchange::Failure failure = m_exchange.lastFailure();
    if (failure == CommandExchange::Failure::ChannelLost) {
        m_outcome = Outcome::Lost;
        QString cause = tr("The connection to the indicator was lost.");
        if (const QString reason = m_exchange.lostReason(); !reason.isEmpty())
            cause += u' ' + reason + (reason.endsWith(u'.') ? QString() : QStringLiteral("."));
        report(stopText(cause, m_proving ? std::max(m_cursor - 1, 0) : m_cursor),
               &Downloader::finish);
        return;
    }
    if (m_proving) {
        afterProof();
        return;
    }
    if (failure == CommandExchange::Failure::OutOfStep) {
        m_outcome = Outcome::Stopped;
        report(stopText(tr(kStoppedAnswering), m_cursor), &Downloader::finish);
        return;
    }
    if (!ok) {
        // A refusal or a silence is acted on only once an in-step point proves it was the
        // indicator's answer to this very write.
        m_failed = {m_cursor, failure == CommandExchange::Failure::Nak};
        ++m_cursor;
        prove();
        return;
    }
    m_resent = false;
    if (phaseOf(m_cursor) == Phase::Data)
        emitBlockDone(blockOf(m_cursor));
    ++m_cursor;
    advance();
}

void Downloader::afterProof()
{
    m_proving = false;
    switch (m_exchange.lastFailure()) {
    case CommandExchange::Failure::None:
        break;
    case CommandExchange::Failure::Voided:
        // Nothing was judged since the last in-step point: nothing to send again.
        if (m_cursor != m_stretchStart) {
            voidStretch();
            return;
        }
        break;
    case CommandExchange::Failure::Nak:
    case CommandExchange::Failure::NoReply:
    case CommandExchange::Failure::OutOfStep:
    case CommandExchange::Failure::ChannelLost:
        m_outcome = Outcome::Stopped;
        report(stopText(tr(kStoppedAnswering), std::max(m_cursor - 1, 0)), &Downloader::finish);
        return;
    }
    commit();
}

// Some answer since the last in-step point matched no command, so none of them can be trusted:
// the stretch goes out again from its first write.
void Downloader::voidStretch()
{
    if (++m_voids > kMaxVoids) {
        m_outcome = Outcome::Stopped;
        report(stopText(tr(kUnmatched), m_stretchStart), &Downloader::finish);
        return;
    }
    const int count = m_cursor - m_stretchStart;
    qCInfo(lcExchange).noquote()
        << LogSource{m_exchange.logName()}
        << "stretch voided: an answer since the last in-step point matched no command; sending"
        << count << (count == 1 ? "write" : "writes") << "again from"
        << TextRoutines::describeBytes(commandAt(m_stretchStart)).constData();
    m_cursor = m_stretchStart;
    m_failed = {};
    m_stretchLength = kShortStretchLength;
    advance();
}

// The stretch is proven: its acknowledged pointer entries store their tickets, and a failed
// write at its end is now known to be the indicator's answer.
void Downloader::commit()
{
    m_voids = 0;
    m_stretchLength = std::min(2 * m_stretchLength, kStretchLength);
    const int provenEnd = m_failed.index >= 0 ? m_failed.index : m_cursor;
    for (int i = std::max(m_stretchStart, m_pointerBegin); i < provenEnd; ++i) {
        const int s = slotOf(i);
        m_stored[s] =
            m_holdsData[s] && !m_faults[s].failed && !(s == kOptionalIndex && m_slot7Failed);
    }
    if (!m_opened) {
        m_opened = true;
        qCDebug(lcExchange) << LogSource{m_exchange.logName()}
                            << "download opened at an in-step point";
    } else {
        qCDebug(lcExchange).noquote()
            << LogSource{m_exchange.logName()} << "in-step point: commands" << m_stretchStart + 1
            << "to" << m_cursor << "proven";
    }
    m_stretchStart = m_cursor;
    if (m_failed.index < 0) {
        advance();
        return;
    }
    judgeFailure(std::exchange(m_failed, {}));
}

void Downloader::judgeFailure(FailedWrite failed)
{
    // Unanswered: sent once more, as a stretch of its own.
    if (!failed.refused && !m_resent && !m_cancelRequested) {
        m_resent = true;
        m_cursor = m_stretchStart = failed.index;
        advance();
        return;
    }
    m_resent = false;
    if (phaseOf(failed.index) == Phase::Data)
        failedBlock(failed);
    else
        failedEntry(failed);
}

// A failed block is reported and the data pass goes on; its slots stay unpointed.
void Downloader::failedBlock(FailedWrite failed)
{
    const int block = blockOf(failed.index);
    const qint32 address = addressOf(failed.index);
    const QList<int> hit = slotsOfBlock(block);
    for (const int s : hit) {
        SlotFault& fault = m_faults[s - 1];
        if (!fault.failed)
            fault = {true, failed.refused, address};
    }
    m_failedBlock = block;
    report(tr(kDataError) + QStringLiteral("\r\n\r\n") +
               (failed.refused ? tr("The indicator refused the data of %1 at address %2.")
                               : tr("The indicator did not answer the write of %1 at address %2."))
                   .arg(slotList(hit), hex4(address)),
           &Downloader::afterFailedBlock);
}

// A failed pointer entry ends the download, but for slot 7's, which the indicator may lack.
void Downloader::failedEntry(FailedWrite failed)
{
    const int s = slotOf(failed.index);
    if (s == kOptionalIndex) {
        m_slot7Failed = true;
        advance();
        return;
    }
    m_outcome = Outcome::Refused;
    if (phaseOf(failed.index) == Phase::Clearing) {
        report(tr(kPointerError), &Downloader::finish);
        return;
    }
    report(tr(kPointerError) + QStringLiteral("\r\n\r\n") +
               (failed.refused ? tr("The indicator refused the pointer entry of %1 at address %2.")
                               : tr("The indicator did not answer the write of the pointer entry "
                                    "of %1 at address %2."))
                   .arg(SlotTable::slotName(s + 1), hex4(addressOf(failed.index))) +
               QStringLiteral("\r\n\r\n") + holdingsText(),
           &Downloader::finish);
}

void Downloader::afterFailedBlock()
{
    emitBlockDone(std::exchange(m_failedBlock, -1));
    advance();
}

// The slots whose bytes the data block holds: one, or several where tickets end inside it.
QList<int> Downloader::slotsOfBlock(int block) const
{
    const qint32 first = m_plan.dataBlocks[block].position - 1;
    const qint32 last = first + DownloadPlan::kBlockSize - 1;
    QList<int> result;
    for (int s = 0; s < DownloadPlan::kSlotCount; ++s) {
        if (m_holdsData[s] && m_plan.startOffset[s] <= last && m_plan.endOffset[s] >= first)
            result.append(s + 1);
    }
    return result;
}

void Downloader::endOfPointerPass()
{
    QStringList lost;
    for (int s = 0; s < DownloadPlan::kSlotCount; ++s) {
        const SlotFault& fault = m_faults[s];
        if (fault.failed)
            lost.append((fault.refused
                             ? tr("%1: the indicator refused the data at address %2.")
                             : tr("%1: the indicator did not answer a write at address %2."))
                            .arg(SlotTable::slotName(s + 1), hex4(fault.address)));
    }
    const bool slot7Lost = m_slot7Failed && m_holdsData[kOptionalIndex];
    if (lost.isEmpty() && !slot7Lost) {
        m_outcome = Outcome::Stored;
        finish();
        return;
    }
    m_outcome = Outcome::Refused;
    if (lost.isEmpty()) {
        report(tr(kSlot7Error), &Downloader::finish);
        return;
    }
    QString text = tr("These tickets were not stored:\r\n%1\r\n\r\nTheir pointer entries are "
                      "cleared, so the indicator does not use them. Download the tickets again.")
                       .arg(lost.join(QStringLiteral("\r\n")));
    if (slot7Lost && !m_faults[kOptionalIndex].failed)
        text += QStringLiteral("\r\n\r\n") + tr(kSlot7Error);
    report(text, &Downloader::finish);
}

void Downloader::endCancelled()
{
    m_outcome = Outcome::Cancelled;
    const bool anyStored = std::find(m_stored.begin(), m_stored.end(), true) != m_stored.end();
    report(anyStored ? tr("The download was cancelled. %1").arg(holdingsText()) : tr(kCancelled),
           &Downloader::finish);
}

// Where the download stands: the slot and the indicator address of a command.
QString Downloader::whereText(int index) const
{
    if (index >= m_end)
        index = m_end - 1;
    const QString names = phaseOf(index) == Phase::Data ? slotList(slotsOfBlock(blockOf(index)))
                                                        : SlotTable::slotName(slotOf(index) + 1);
    return tr("%1, address %2").arg(names, hex4(addressOf(index)));
}

// Which of the tickets sent the indicator now holds, as proven, and which it does not.
QString Downloader::holdingsText() const
{
    QList<int> held, notHeld;
    for (int s = 0; s < DownloadPlan::kSlotCount; ++s) {
        if (m_holdsData[s])
            (m_stored[s] ? held : notHeld).append(s + 1);
    }
    QString text = held.isEmpty()
                       ? tr("The indicator holds none of these tickets.")
                       : tr("The indicator holds the tickets of %1.").arg(slotList(held));
    if (!notHeld.isEmpty())
        text += tr("\r\nNot stored: %1. Download the tickets again.").arg(slotList(notHeld));
    return text;
}

// The message of a download that had to stop: why, where, and what the indicator holds now.
QString Downloader::stopText(const QString& cause, int index) const
{
    // Stopped at the opening in-step point: not one write went out.
    if (!m_opened)
        return tr("%1 Nothing was sent. Check the cable and the indicator, then download the "
                  "tickets again.")
            .arg(cause);
    QString holds;
    switch (phaseOf(index)) {
    case Phase::Preparing:
    case Phase::Clearing:
        holds = tr("No ticket data was sent. The indicator's pointer table is partly cleared, so "
                   "it holds no valid ticket set.");
        break;
    case Phase::Data:
        holds = tr(kNoValidSet);
        break;
    case Phase::Pointers: {
        QList<int> held;
        for (int s = 0; s < DownloadPlan::kSlotCount; ++s) {
            if (m_stored[s])
                held.append(s + 1);
        }
        holds = held.isEmpty()
                    ? tr(kNoValidSet)
                    : tr("The indicator holds only the tickets of %1.").arg(slotList(held));
        break;
    }
    }
    return tr("%1 The download stopped at %2.\r\n\r\n%3 Check the cable and the indicator, then "
              "download the tickets again.")
        .arg(cause, whereText(index), holds);
}

void Downloader::report(const QString& text, void (Downloader::*next)())
{
    // The box may outlive this object (the window closing under it): then nothing follows.
    QPointer<Downloader> self(this);
    m_ui.critical(tr(kTitle), text, [self, next] {
        if (self)
            (self.data()->*next)();
    });
}

void Downloader::finish()
{
    if (!isRunning())
        return;
    m_running = false;
    m_awaitedCommand = 0;
    m_cancelRequested = false;
    m_resent = false;
    m_proving = false;
    m_plan = DownloadPlan{};
    emit finished();
}
