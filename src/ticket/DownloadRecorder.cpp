#include "ticket/DownloadRecorder.h"

#include "link/CommandExchange.h"
#include "ticket/Downloader.h"
#include "ticket/TicketSlots.h"

DownloadRecorder::DownloadRecorder(Downloader& downloader, const CommandExchange& exchange,
                                   const TicketSlots& ticketSlots, std::function<Target()> target,
                                   QObject* parent)
    : QObject(parent)
    , m_downloader(downloader)
    , m_exchange(exchange)
    , m_slots(ticketSlots)
    , m_target(std::move(target))
{
    connect(&downloader, &Downloader::started, this, &DownloadRecorder::onStarted);
    connect(&downloader, &Downloader::finished, this, &DownloadRecorder::onFinished);
}

void DownloadRecorder::onStarted()
{
    const Target target = m_target ? m_target() : Target{};
    m_started = {};
    m_started.time = QDateTime::currentDateTime();
    m_started.channel = target.channel;
    m_started.baud = target.baud;
    m_started.version = target.version;
    m_started.serial = target.serial;
    m_contents = m_slots.contents();
    for (int s = 1; s <= SlotTable::kSlotCount; ++s)
        m_paths.at(s - 1) = m_slots.path(s);
    m_retriesBefore = m_exchange.retryCount();
    m_elapsed.start();
}

void DownloadRecorder::onFinished()
{
    if (m_downloader.commandsSent() == 0)
        return;
    DownloadRecord record = DownloadRecord::fromDownload(
        m_downloader, static_cast<int>(m_exchange.retryCount() - m_retriesBefore), m_contents,
        m_paths);
    record.time = m_started.time;
    record.channel = m_started.channel;
    record.baud = m_started.baud;
    record.version = m_started.version;
    record.serial = m_started.serial;
    record.seconds = static_cast<double>(m_elapsed.elapsed()) / 1000.0;
    QString error;
    if (DownloadLog::append(m_path, record, &error))
        emit written(record);
    else
        emit notWritten(error);
}
