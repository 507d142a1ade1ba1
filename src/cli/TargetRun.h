#pragma once

#include "cli/ExitCode.h"
#include "cli/TargetsFile.h"
#include "cli/Tickets.h"
#include "platform/UiServices.h"
#include "session/IndicatorSession.h"

#include <QObject>
#include <chrono>

class Console;

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

// One indicator's run on the terminal: a session of its own does the work, as the window's
// does; this shows its phases, progress and end. Everything follows from signals, so any
// number of runs share one event loop.
class TargetRun : public QObject {
    Q_OBJECT
public:
    using Task = IndicatorSession::Task;
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

    Phase phase() const { return m_phase; }
    const Target& target() const { return m_setup.target; }
    QString version() const { return QString::fromLatin1(m_session.version()); }
    QString serial() const { return QString::fromLatin1(m_session.serial()); }
    Downloader::Outcome outcome() const { return m_session.runOutcome(); }
    ExitCode exitCode() const { return exitCodeFor(outcome()); }
    // What the run did, for the log and --json; valid once finished.
    const DownloadRecord& record() const { return m_session.record(); }
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

    Setup m_setup;
    Console& m_console;
    ConsoleUi m_ui;
    IndicatorSession m_session{m_ui};
    Phase m_phase = Phase::Waiting;
    QElapsedTimer m_downloadClock;
    qint32 m_bytesDone = 0;
};

} // namespace Cli
