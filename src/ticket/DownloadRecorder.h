#pragma once

#include "ticket/DownloadRecord.h"
#include "ticket/Outcome.h"

#include <QObject>
#include <chrono>

class CommandExchange;
class Downloader;

// Keeps the record of every download and appends it to the download record when the download
// sent at least one command: the tickets as they were when it was prepared (later slot changes
// send nothing), where it went, and how it ended. A record that cannot be written never fails
// the download; it is told through notWritten().
class DownloadRecorder : public QObject {
    Q_OBJECT
public:
    // Where a download goes.
    struct Target {
        QString channel;
        int baud = 0;
        QString version;
        QString serial;
    };

    DownloadRecorder(Downloader& downloader, const CommandExchange& exchange,
                     QObject* parent = nullptr);

    // Empty: records are kept but written nowhere.
    void setPath(const QString& path) { m_path = path; }
    QString path() const { return m_path; }

    // The tickets a download will send, hashed once.
    void prepare(const SlotTable::Contents& contents, const SlotTable::Paths& paths);
    // Where it goes and what the indicator said it was.
    void setTarget(const Target& target);
    // The record of a run that ended before its download sent anything: how it ended and how long
    // it took, each ticket stored only when the indicator held it already. Nothing is written.
    void finishUnsent(Outcome outcome, std::chrono::milliseconds elapsed);
    // The last download's record; before one ends, the prepared one with no command sent.
    const DownloadRecord& record() const { return m_record; }

signals:
    void written(const DownloadRecord& record);
    void notWritten(const QString& errorText);

private:
    void onStarted();
    void onFinished();

    Downloader& m_downloader;
    const CommandExchange& m_exchange;
    QString m_path = DownloadLog::defaultPath();
    DownloadRecord m_record;
    quint64 m_retriesBefore = 0;
};
