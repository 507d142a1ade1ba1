#pragma once

#include "cli/ExitCode.h"
#include "cli/StoredTickets.h"
#include "cli/TargetsFile.h"
#include "cli/Tickets.h"
#include "session/IndicatorSession.h"
#include "session/SessionRun.h"

#include <QObject>
#include <QTimer>
#include <chrono>

class Console;

namespace Cli {

// One indicator's run on the terminal: a session of its own does the work, as the window's
// does; this shows its phases, progress and end. Everything follows from signals, so any
// number of runs share one event loop.
class TargetRun : public QObject {
    Q_OBJECT
public:
    using Task = SessionRun::Task;
    // A host that neither answers nor refuses would otherwise hold its run for minutes.
    static constexpr std::chrono::milliseconds kConnectLimit{10000};

    // Resting: a try ended for want of a line or an answer; the next waits its time.
    // Queried: the query has answered and the download is about to start.
    enum class Phase {
        Waiting,
        Opening,
        Querying,
        Queried,
        Clearing,
        Data,
        Pointers,
        Resting,
        Done
    };

    struct Setup {
        Target target;
        Task task = Task::Download;
        const Tickets* tickets = nullptr; // Download: shared by every run of a fleet
        QString settingsPath;             // [PortNames] and [SerialPort]
        QString recordPath;               // empty: not recorded
        int retries = 0;                  // more tries after one that may pass
        std::chrono::milliseconds retryAfter{0};
        const StoredTickets* stored = nullptr; // --skip-stored: what the record says is held
    };

    TargetRun(Setup setup, Console& console, QObject* parent = nullptr);
    ~TargetRun() override;

    // Starts the first try, or the next once readyToRetry() came.
    void start();
    // Ends the run as soon as the indicator allows: a download stops after the reply in flight,
    // a run resting before its next try ends with the try before.
    void cancel();
    // Ends a run that was never started as cancelled: nothing is opened or sent.
    void skipCancelled();

    Phase phase() const { return m_phase; }
    int tries() const { return m_tries; }
    const Target& target() const { return m_setup.target; }
    // The indicator's texts as the record keeps them: without the protocol's bytes.
    QString version() const { return DownloadRecord::indicatorText(m_session.version()); }
    QString serial() const { return DownloadRecord::indicatorText(m_session.serial()); }
    Outcome outcome() const { return m_run.outcome(); }
    ExitCode exitCode() const { return exitCodeFor(outcome()); }
    // What the run did, for the log and --json; valid once finished.
    const DownloadRecord& record() const { return m_run.record(); }
    // The line a terminal shows while the run goes on, its name cut to nameWidth.
    QString progressLine(int nameWidth) const;

signals:
    void finished();
    // A try ended and the next rests: the run holds no place among those at work meanwhile.
    void resting();
    void readyToRetry();

private:
    QString prefix() const;
    // "opening /dev/ttyUSB0" or "connecting to 10.0.0.7:4001".
    QString openingText() const;
    void say(const QString& text);
    void sayPhase(Phase phase, const QString& text);
    void onPhase(Downloader::Phase phase);
    void onRunFinished();
    QString slotsText(bool stored) const;
    QString emptySlotsText() const;
    QString endLine() const;
    QString transferLine() const;
    const Tickets& tickets() const;

    Setup m_setup;
    Console& m_console;
    IndicatorSession m_session;
    SessionRun m_run{m_session};
    Phase m_phase = Phase::Waiting;
    qint32 m_bytesDone = 0;
    int m_tries = 0;
    bool m_cancelled = false;
    QTimer m_retryTimer;
};

} // namespace Cli
