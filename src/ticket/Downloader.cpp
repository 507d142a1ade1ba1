#include "ticket/Downloader.h"

#include "link/CommandExchange.h"
#include "platform/UiServices.h"

#include <QPointer>

namespace {
constexpr int kLastSlotIndex = DownloadPlan::kSlotCount - 1; // slot 7, "Truck Simple Weighing"

const QString kTitle = QStringLiteral("Update Error");
const QString kPreparing = QStringLiteral("Preparing data ...");
const QString kUpdatingPointers = QStringLiteral("Update pointers ...");
const QString kPointerError = QStringLiteral("Pointer Error");
const QString kDataError = QStringLiteral("Data Error");
const QString kSlot7Error = QStringLiteral("Error sending Truck Simple Weighing ticket.");
const QString kConnectionLost =
    QStringLiteral("The connection to the indicator was lost during the download. The tickets in "
                   "the indicator may be incomplete; download them again once it is reconnected.");
const QString kBusy = QStringLiteral(
    "The indicator is still answering another command. Nothing was sent; try the download again.");
// The pointer table is cleared before any data is written, so after a cancel the indicator
// never points at half-written data: it simply holds no valid ticket set.
const QString kCancelled =
    QStringLiteral("The download was cancelled. The indicator now holds no valid ticket set; "
                   "download the tickets again before using it.");
} // namespace

Downloader::Downloader(CommandExchange& exchange, UiServices& ui, QObject* parent)
    : QObject(parent)
    , m_exchange(exchange)
    , m_ui(ui)
{
    connect(&m_exchange, &CommandExchange::finished, this, &Downloader::onExchangeFinished);
}

Downloader::~Downloader() = default;

void Downloader::start(const std::array<QByteArray, DownloadPlan::kSlotCount>& contents)
{
    if (isRunning())
        return;
    m_cancelRequested = false;
    m_slot7Failed = false;
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
    m_slot7HoldsData = !contents[kLastSlotIndex].isEmpty();
    emit statusText(kUpdatingPointers);
    sendCurrent();
}

void Downloader::cancel()
{
    if (isRunning())
        m_cancelRequested = true;
}

void Downloader::sendCurrent()
{
    if (m_cancelRequested) {
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
        command = &m_plan.pointerCommands[m_index];
        break;
    case Phase::Idle:
        return;
    }
    m_awaitingReply = true;
    ++m_commandsSent;
    m_exchange.SendCommand(*command, m_timeout);
}

void Downloader::onExchangeFinished(bool ok)
{
    // The exchange also serves the indicator query; only answers to our own commands count.
    if (!m_awaitingReply)
        return;
    m_awaitingReply = false;

    if (m_exchange.lastFailure() == CommandExchange::Failure::ChannelLost) {
        report(kConnectionLost, &Downloader::finish);
        return;
    }
    if (m_cancelRequested) {
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
    if (m_index < kLastSlotIndex) {
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

void Downloader::afterDataWrite(bool ok)
{
    if (!ok) {
        // A failed block is reported and then treated as written.
        report(kDataError, &Downloader::afterDataBlock);
        return;
    }
    afterDataBlock();
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
    if (m_slot7Failed && m_slot7HoldsData) {
        report(kSlot7Error, &Downloader::finish);
        return;
    }
    finish();
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
    m_awaitingReply = false;
    m_cancelRequested = false;
    m_plan = DownloadPlan{};
    emit finished();
}
