#include "ticket/Downloader.h"

#include "link/CommandExchange.h"
#include "platform/TextRoutines.h"
#include "platform/UiServices.h"

#include <QPointer>

namespace {
constexpr int kOptionalIndex = SlotTable::kOptionalSlot - 1;
constexpr qint32 kPointerTableBase = 0xFF00;
constexpr qint32 kPointerEntrySize = 4;

const QString kTitle = QStringLiteral("Update Error");
const QString kPreparing = QStringLiteral("Preparing data ...");
const QString kUpdatingPointers = QStringLiteral("Update pointers ...");
const QString kPointerError = QStringLiteral("Pointer Error");
const QString kDataError = QStringLiteral("Data Error");
const QString kSlot7Error = QStringLiteral("Error sending Truck Simple Weighing ticket.");
const QString kBusy = QStringLiteral(
    "The indicator is still answering another command. Nothing was sent; try the download again.");
// The pointer table is cleared before any data is written, so after a cancel the indicator
// never points at half-written data: it simply holds no valid ticket set.
const QString kCancelled =
    QStringLiteral("The download was cancelled. The indicator now holds no valid ticket set; "
                   "download the tickets again before using it.");
const QString kNoValidSet =
    QStringLiteral("The indicator's pointer table is cleared, so it holds no valid ticket set.");

QString hex4(qint32 value)
{
    return TextRoutines::padHex4(QString::number(value, 16).toUpper());
}

QString slotList(const QList<int>& slotNumbers)
{
    QStringList names;
    for (const int s : slotNumbers)
        names.append(SlotTable::slotName(s));
    return names.join(QStringLiteral(" and "));
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
    m_faults = {};
    m_stored = {};
    m_outcome = Outcome::None;
    m_commandsSent = 0;
    m_index = 0;
    m_phase = Phase::Clearing;
    emit started();

    qint64 total = 0;
    for (const QByteArray& c : contents)
        total += c.size();
    if (total > kMaxTotalBytes) {
        // The data area ends at 7FFF, so such a set cannot be laid out; refuse before sending.
        report(QStringLiteral("The tickets hold %1 bytes in all, more than the %2 bytes of the "
                              "indicator's ticket memory. Nothing was sent; remove a ticket and "
                              "download again.")
                   .arg(total)
                   .arg(kMaxTotalBytes),
               &Downloader::finish);
        return;
    }
    if (m_exchange.isBusy()) {
        report(kBusy, &Downloader::finish);
        return;
    }

    emit statusText(kPreparing);
    m_plan = makeDownloadPlan(contents);
    for (int s = 0; s < DownloadPlan::kSlotCount; ++s)
        m_holdsData[s] = !contents[s].isEmpty();
    emit statusText(kUpdatingPointers);
    sendCurrent();
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

void Downloader::sendCurrent()
{
    if (m_cancelRequested) {
        m_outcome = Outcome::Cancelled;
        report(kCancelled, &Downloader::finish);
        return;
    }
    const QByteArray* command = nullptr;
    switch (m_phase) {
    case Phase::Clearing:
        command = &m_plan.clearingCommands[m_index];
        break;
    case Phase::Data:
        command = &m_plan.dataBlocks[m_index].command;
        break;
    case Phase::Pointers:
        // A ticket that is not whole in the indicator must never be pointed at.
        command = m_faults[m_index].failed ? &m_plan.clearingCommands[m_index]
                                           : &m_plan.pointerCommands[m_index];
        break;
    case Phase::Idle:
        return;
    }
    ++m_commandsSent;
    m_awaitedCommand = m_exchange.sendCommand(*command, m_timeout);
}

void Downloader::onExchangeFinished(quint64 command, bool ok)
{
    // The exchange also serves the indicator query; only answers to our own commands count.
    if (command == 0 || command != m_awaitedCommand)
        return;
    m_awaitedCommand = 0;

    switch (m_exchange.lastFailure()) {
    case CommandExchange::Failure::ChannelLost: {
        m_outcome = Outcome::Lost;
        QString cause = QStringLiteral("The connection to the indicator was lost.");
        if (const QString reason = m_exchange.lostReason(); !reason.isEmpty())
            cause += u' ' + reason + (reason.endsWith(u'.') ? QString() : QStringLiteral("."));
        report(stopText(cause), &Downloader::finish);
        return;
    }
    case CommandExchange::Failure::OutOfStep:
        m_outcome = Outcome::Stopped;
        report(stopText(QStringLiteral("The indicator stopped answering.")), &Downloader::finish);
        return;
    case CommandExchange::Failure::NoReply:
        // Sent again once: the exchange first brings the line back in step, and a line that
        // stays dead ends the download there.
        if (!m_resent && !m_cancelRequested) {
            m_resent = true;
            sendCurrent();
            return;
        }
        break;
    case CommandExchange::Failure::None:
    case CommandExchange::Failure::Nak:
        break;
    }
    m_resent = false;
    if (m_cancelRequested) {
        m_outcome = Outcome::Cancelled;
        report(kCancelled, &Downloader::finish);
        return;
    }
    switch (m_phase) {
    case Phase::Clearing:
        afterClearingWrite(ok);
        break;
    case Phase::Data:
        afterDataWrite(ok);
        break;
    case Phase::Pointers:
        afterPointerWrite(ok);
        break;
    case Phase::Idle:
        break;
    }
}

// A refused pointer write of slots 1 to 6 ends the download; one of slot 7 is only noted, since
// the indicator may lack that ticket. True when the download ends here.
bool Downloader::pointerWriteEnds(bool ok)
{
    if (ok)
        return false;
    if (m_index != kOptionalIndex) {
        m_outcome = Outcome::Refused;
        report(kPointerError, &Downloader::finish);
        return true;
    }
    m_slot7Failed = true;
    return false;
}

void Downloader::afterClearingWrite(bool ok)
{
    if (pointerWriteEnds(ok))
        return;
    if (++m_index < DownloadPlan::kSlotCount) {
        sendCurrent();
        return;
    }
    beginDataPass();
}

void Downloader::beginDataPass()
{
    emit progressRange(0, m_plan.totalBytes());
    if (m_plan.dataBlocks.isEmpty()) {
        beginPointerPass();
        return;
    }
    m_phase = Phase::Data;
    m_index = 0;
    sendCurrent();
}

// The slots whose bytes the data block holds: one, or two where a ticket ends inside it.
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

void Downloader::afterDataWrite(bool ok)
{
    if (ok) {
        afterDataBlock();
        return;
    }
    const bool refused = m_exchange.lastFailure() == CommandExchange::Failure::Nak;
    const qint32 address = m_plan.dataBlocks[m_index].position - 1;
    const QList<int> hit = slotsOfBlock(m_index);
    for (const int s : hit) {
        SlotFault& fault = m_faults[s - 1];
        if (!fault.failed)
            fault = {true, refused, address};
    }
    // A failed block is reported and the data pass goes on; its slots stay unpointed.
    report(kDataError + QStringLiteral("\r\n\r\n") +
               (refused ? QStringLiteral("The indicator refused the data of %1 at address %2.")
                        : QStringLiteral("The indicator did not answer the write of %1 at "
                                         "address %2."))
                   .arg(slotList(hit), hex4(address)),
           &Downloader::afterDataBlock);
}

void Downloader::afterDataBlock()
{
    const qint32 position = m_plan.dataBlocks[m_index].position;
    emit progressValue(position);
    emit statusText(downloadStatusText(position, m_plan.totalBytes()));
    if (++m_index < m_plan.dataBlocks.size()) {
        sendCurrent();
        return;
    }
    beginPointerPass();
}

void Downloader::beginPointerPass()
{
    emit statusText(kUpdatingPointers);
    m_phase = Phase::Pointers;
    m_index = 0;
    sendCurrent();
}

void Downloader::afterPointerWrite(bool ok)
{
    if (pointerWriteEnds(ok))
        return;
    if (++m_index < DownloadPlan::kSlotCount) {
        sendCurrent();
        return;
    }
    endOfPointerPass();
}

void Downloader::endOfPointerPass()
{
    QStringList lost;
    for (int s = 0; s < DownloadPlan::kSlotCount; ++s) {
        const SlotFault& fault = m_faults[s];
        m_stored[s] = m_holdsData[s] && !fault.failed && !(s == kOptionalIndex && m_slot7Failed);
        if (fault.failed)
            lost.append(QStringLiteral("%1: the indicator %2 at address %3.")
                            .arg(SlotTable::slotName(s + 1),
                                 fault.refused ? QStringLiteral("refused the data")
                                               : QStringLiteral("did not answer a write"),
                                 hex4(fault.address)));
    }
    const bool slot7Lost = m_slot7Failed && m_holdsData[kOptionalIndex];
    if (lost.isEmpty() && !slot7Lost) {
        m_outcome = Outcome::Stored;
        finish();
        return;
    }
    m_outcome = Outcome::Refused;
    if (lost.isEmpty()) {
        report(kSlot7Error, &Downloader::finish);
        return;
    }
    QString text = QStringLiteral("These tickets were not stored:\r\n") +
                   lost.join(QStringLiteral("\r\n")) +
                   QStringLiteral("\r\n\r\nTheir pointer entries are cleared, so the indicator "
                                  "does not use them. Download the tickets again.");
    if (slot7Lost && !m_faults[kOptionalIndex].failed)
        text += QStringLiteral("\r\n\r\n") + kSlot7Error;
    report(text, &Downloader::finish);
}

// Where the download stands: the slot and the indicator address of the command in flight.
QString Downloader::whereText() const
{
    if (m_phase == Phase::Data) {
        return QStringLiteral("%1, address %2")
            .arg(slotList(slotsOfBlock(m_index)), hex4(m_plan.dataBlocks[m_index].position - 1));
    }
    return QStringLiteral("%1, address %2")
        .arg(SlotTable::slotName(m_index + 1),
             hex4(kPointerTableBase + kPointerEntrySize * m_index));
}

// The message of a download that had to stop: why, where, and what the indicator holds now.
QString Downloader::stopText(const QString& cause) const
{
    QString holds;
    switch (m_phase) {
    case Phase::Clearing:
        holds = QStringLiteral("No ticket data was sent. The indicator's pointer table is partly "
                               "cleared, so it holds no valid ticket set.");
        break;
    case Phase::Pointers:
        if (m_index > 0) {
            holds = QStringLiteral("The pointer entries from slot %1 on are cleared: the "
                                   "indicator holds only the tickets of the slots before it.")
                        .arg(m_index + 1);
            break;
        }
        holds = kNoValidSet;
        break;
    case Phase::Data:
    case Phase::Idle:
        holds = kNoValidSet;
        break;
    }
    return cause + QStringLiteral(" The download stopped at ") + whereText() +
           QStringLiteral(".\r\n\r\n") + holds +
           QStringLiteral(" Check the cable and the indicator, then download the tickets again.");
}

void Downloader::report(const QString& text, void (Downloader::*next)())
{
    // The box may outlive this object (the window closing under it): then nothing follows.
    QPointer<Downloader> self(this);
    m_ui.critical(kTitle, text, [self, next] {
        if (self)
            (self.data()->*next)();
    });
}

void Downloader::finish()
{
    if (!isRunning())
        return;
    m_phase = Phase::Idle;
    m_awaitedCommand = 0;
    m_cancelRequested = false;
    m_resent = false;
    m_plan = DownloadPlan{};
    emit finished();
}
