#pragma once

#include "cli/CliOptions.h"
#include "link/CommandExchange.h"
#include "link/IndicatorQuery.h"
#include "platform/UiServices.h"
#include "ticket/DownloadRecord.h"
#include "ticket/Downloader.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>

class Console;
class LineChannel;

namespace Cli {

// The messages the download shows, on the console: printed with the target's name and closed
// at once, so the download goes on without anyone there to press OK.
class ConsoleUi : public UiServices {
public:
    ConsoleUi(Console& console, QString prefix);
    void critical(const QString& title, const QString& text, std::function<void()> done) override;
    void chooseOpenFile(const QString& filter, const QString& folder,
                        std::function<void(const QString&)> done) override;
    void chooseSaveFile(const QString& filter, const QString& folder,
                        std::function<void(const QString&)> done) override;
    void setBusy(bool busy) override;

private:
    Console& m_console;
    QString m_prefix;
};

// One indicator from start to end: its own channel and exchange, opened, queried as the window
// queries, and for a download sent the tickets by the window's Downloader. Everything follows
// from signals, so any number of runs share one event loop.
class TargetRun : public QObject {
    Q_OBJECT
public:
    // A host that neither answers nor refuses would otherwise hold its run for minutes.
    static constexpr std::chrono::milliseconds kConnectLimit{10000};

    enum class Task { Query, Download };
    enum class Phase { Waiting, Opening, Querying, Clearing, Data, Pointers, Done };

    struct Setup {
        Target target;
        Task task = Task::Download;
        const Tickets* tickets = nullptr; // Download: shared by every run of a fleet
        QString settingsPath;             // [PortNames] and [SerialPort]
        int nameWidth = 0;                // the progress lines' name column
    };

    TargetRun(Setup setup, Console& console, QObject* parent = nullptr);
    ~TargetRun() override;

    void start();
    // Ends the run as soon as the indicator allows: a download stops after the reply in flight.
    void cancel();

    Phase phase() const { return m_phase; }
    const Target& target() const { return m_setup.target; }
    // Names the channel as the download record does: "COM 1 /dev/ttyS0", "/dev/ttyUSB0",
    // "192.168.1.50:4001".
    QString channelText() const;
    QString version() const { return m_version; }
    QString serial() const { return m_serial; }
    // "stored", "refused", "stopped", "cancelled" or "lost"; empty while running.
    QString outcome() const { return m_outcome; }
    ExitCode exitCode() const;
    double seconds() const { return m_seconds; }
    // Download: what the run did, for the log and --json; valid once finished.
    const DownloadRecord& record() const { return m_record; }
    // The line a terminal shows while the run goes on.
    QString progressLine() const;

signals:
    void finished();

private:
    QString prefix() const;
    void say(const QString& text);
    void sayPhase(Phase phase, const QString& text);
    void openSerial();
    void openTcp();
    void onChannelOpen();
    void onTcpError(int number, const QString& description);
    void onQueryFinished(bool ok);
    void startDownload();
    void onStatusText(const QString& text);
    void onDownloadFinished();
    void end(const QString& outcome, const QString& message);
    void closeChannel();
    QString slotsText(bool stored) const;

    Setup m_setup;
    Console& m_console;
    ConsoleUi m_ui;
    std::unique_ptr<LineChannel> m_channel;
    CommandExchange m_exchange;
    IndicatorQuery m_query{m_exchange};
    Downloader m_downloader{m_exchange, m_ui};
    QTimer m_connectLimit;
    Phase m_phase = Phase::Waiting;
    bool m_cancelRequested = false;
    QString m_device; // the serial device opened
    QString m_version, m_serial;
    QString m_outcome;
    QDateTime m_startTime; // of the download once it starts, of the run before
    quint64 m_retriesBefore = 0;
    QElapsedTimer m_clock;
    QElapsedTimer m_downloadClock;
    bool m_downloadStarted = false;
    qint32 m_totalBytes = 0;
    qint32 m_position = 0;
    int m_totalCommands = 0;
    double m_seconds = 0;
    DownloadRecord m_record;
};

} // namespace Cli
