#pragma once

#include "ticket/DownloadRecord.h"

#include <QElapsedTimer>
#include <QObject>
#include <functional>

class CommandExchange;
class Downloader;
class TicketSlots;

// Appends one line to the download record for every download that sent at least one command:
// the tickets as they were when it started (later slot changes send nothing), where it went, and
// how it ended. A record that cannot be written never fails the download; it is told through
// notWritten().
class DownloadRecorder : public QObject {
    Q_OBJECT
public:
    // Where a download goes, asked when it starts.
    struct Target {
        QString channel;
        int baud = 0;
        QString version;
        QString serial;
    };

    DownloadRecorder(Downloader& downloader, const CommandExchange& exchange,
                     const TicketSlots& ticketSlots, std::function<Target()> target,
                     QObject* parent = nullptr);

    void setPath(const QString& path) { m_path = path; }
    QString path() const { return m_path; }

signals:
    void written(const DownloadRecord& record);
    void notWritten(const QString& errorText);

private:
    void onStarted();
    void onFinished();

    Downloader& m_downloader;
    const CommandExchange& m_exchange;
    const TicketSlots& m_slots;
    std::function<Target()> m_target;
    QString m_path = DownloadLog::defaultPath();
    // Taken when the download starts.
    DownloadRecord m_started;
    std::array<QByteArray, SlotTable::kSlotCount> m_contents;
    std::array<QString, SlotTable::kSlotCount> m_paths;
    quint64 m_retriesBefore = 0;
    QElapsedTimer m_elapsed;
};
