#include "cli/StoredTickets.h"

namespace Cli {

StoredTickets::StoredTickets(const QString& recordPath)
{
    // The record is appended to in time order: the last line of a channel is its last download.
    for (DownloadRecord& record : DownloadLog::read(recordPath).records)
        m_last.insert(record.channel, std::move(record));
}

bool StoredTickets::holds(const QString& channel, const QString& serial,
                          const QList<DownloadRecord::Slot>& tickets) const
{
    const auto last = m_last.constFind(channel);
    if (last == m_last.constEnd() || serial.isEmpty() || last->serial != serial ||
        last->tickets.size() != tickets.size())
        return false;
    for (qsizetype i = 0; i < tickets.size(); ++i) {
        const DownloadRecord::Slot& held = last->tickets.at(i);
        if (!held.stored || held.slot != tickets.at(i).slot || held.sha256 != tickets.at(i).sha256)
            return false;
    }
    return true;
}

} // namespace Cli
