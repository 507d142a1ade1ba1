#include "ticket/DownloadRecorder.h"

#include "link/CommandExchange.h"
#include "ticket/Downloader.h"

DownloadRecorder::DownloadRecorder(Downloader& downloader, const CommandExchange& exchange,
                                   QObject* parent)
    : QObject(parent)
    , m_downloader(downloader)
    , m_exchange(exchange)
{
    connect(&downloader, &Downloader::started, this, &DownloadRecorder::onStarted);
    connect(&downloader, &Downloader::finished, this, &DownloadRecorder::onFinished);
}

void DownloadRecorder::prepare(const SlotTable::Contents& contents, const SlotTable::Paths& paths)
{
    m_record = DownloadRecord{};
    m_record.tickets = DownloadRecord::ticketsOf(contents, paths);
    m_record.outcome = Outcomes::word(Outcome::None);
    m_record.time = QDateTime::currentDateTime();
}

void DownloadRecorder::setTarget(const Target& target)
{
    m_record.channel = target.channel;
    m_record.baud = target.baud;
    m_record.version = target.version;
    m_record.serial = target.serial;
}

void DownloadRecorder::finishUnsent(Outcome outcome, std::chrono::milliseconds elapsed)
{
    m_record.outcome = Outcomes::word(outcome);
    m_record.seconds = double(elapsed.count()) / 1000.0;
    // Nothing was sent; the indicator holds these tickets only where the record showed it so.
    for (DownloadRecord::Slot& slot : m_record.tickets)
        slot.stored = outcome == Outcome::AlreadyStored;
}

void DownloadRecorder::onStarted()
{
    m_record.time = QDateTime::currentDateTime();
    m_record.commands = 0;
    m_record.retries = 0;
    for (DownloadRecord::Slot& slot : m_record.tickets)
        slot.stored = false;
    m_retriesBefore = m_exchange.retryCount();
}

void DownloadRecorder::onFinished()
{
    // The tickets were hashed when the download was prepared; what it did is added now.
    m_record.outcome = Outcomes::word(m_downloader.outcome());
    m_record.commands = m_downloader.commandsSent();
    m_record.retries = static_cast<int>(m_exchange.retryCount() - m_retriesBefore);
    for (DownloadRecord::Slot& slot : m_record.tickets)
        slot.stored = m_downloader.slotStored(slot.slot);
    m_record.seconds = double(m_downloader.elapsed().count()) / 1000.0;
    // A download that sent nothing changed nothing in the indicator.
    if (m_downloader.commandsSent() == 0 || m_path.isEmpty())
        return;
    QString error;
    if (DownloadLog::append(m_path, m_record, &error))
        emit written(m_record);
    else
        emit notWritten(error);
}
