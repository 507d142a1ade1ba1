#pragma once

#include "cli/ExitCode.h"
#include "cli/TargetsFile.h"
#include "cli/Tickets.h"
#include "session/IndicatorSession.h"
#include "session/SessionRun.h"

#include <QObject>
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

    enum class Phase { Waiting, Opening, Querying, Clearing, Data, Pointers, Done };

    struct Setup {
        Target target;
        Task task = Task::Download;
        const Tickets* tickets = nullptr; // Download: shared by every run of a fleet
        QString settingsPath;             // [PortNames] and [SerialPort]
        QString recordPath;               // empty: not recorded
        int nameWidth = 0;                // the progress lines' name column
    };

    TargetRun(Setup setup, Console& console, QObject* parent = nullptr);
    ~TargetRun() override;

    void start();
    // Ends the run as soon as the indicator allows: a download stops after the reply in flight.
    void cancel();
    // Ends a run that was never started as cancelled: nothing is opened or sent.
    void skipCancelled();

    Phase phase() const { return m_phase; }
    const Target& target() const { return m_setup.target; }
    QString version() const { return QString::fromLatin1(m_session.version()); }
    QString serial() const { return QString::fromLatin1(m_session.serial()); }
    Outcome outcome() const { return m_run.outcome(); }
    ExitCode exitCode() const { return exitCodeFor(outcome()); }
    // What the run did, for the log and --json; valid once finished.
    const DownloadRecord& record() const { return m_run.record(); }
    // The line a terminal shows while the run goes on.
    QString progressLine() const;

signals:
    void finished();

private:
    QString prefix() const;
    // "opening /dev/ttyUSB0" or "connecting to 10.0.0.7:4001".
    QString openingText() const;
    void say(const QString& text);
    void sayPhase(Phase phase, const QString& text);
    void onPhase(Downloader::Phase phase);
    void onRunFinished();
    QString slotsText(bool stored) const;
    QString skippedText() const;
    QString transferLine() const;
    const Tickets& tickets() const;

    Setup m_setup;
    Console& m_console;
    IndicatorSession m_session;
    SessionRun m_run{m_session};
    Phase m_phase = Phase::Waiting;
    qint32 m_bytesDone = 0;
};

} // namespace Cli
