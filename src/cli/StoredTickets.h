#pragma once

#include "ticket/DownloadRecord.h"

#include <QHash>
#include <QString>

namespace Cli {

// What the download record says each port's indicator holds: the last download recorded for
// each channel, read once.
class StoredTickets {
public:
    // Lines that are no record are skipped, as the history window skips them.
    explicit StoredTickets(const QString& recordPath);

    // True when the last download recorded for the channel went to the indicator with this
    // serial number and stored, slot by slot, exactly these tickets (by their SHA-256), and no
    // other: a download replaces every slot, so one more or one less is another set.
    bool holds(const QString& channel, const QString& serial,
               const QList<DownloadRecord::Slot>& tickets) const;

private:
    QHash<QString, DownloadRecord> m_last; // by channel
};

} // namespace Cli
