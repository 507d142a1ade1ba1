#pragma once

#include "cli/CommandLine.h"
#include "cli/TargetRun.h"

#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <memory>
#include <vector>

class Console;

namespace Cli {

// Runs the targets, up to `parallel` at once, each with its own session in this thread's event
// loop. Each run's session records its download as it ends; for --json its record, with the
// target's name and port, then goes to stdout. Once all have ended, done() follows.
class FleetRunner : public QObject {
    Q_OBJECT
public:
    struct Options {
        TargetRun::Task task = TargetRun::Task::Download;
        const Tickets* tickets = nullptr;
        QString settingsPath;
        int parallel = kDefaultParallel;
        bool json = false;
        QString recordPath; // empty: no record
        int retries = 0;
        std::chrono::milliseconds retryAfter{0};
        const StoredTickets* stored = nullptr; // --skip-stored
        // The rows of the file that could not be used, for --json.
        QList<FleetFile::BadRow> badRows;
    };

    FleetRunner(const QList<Target>& targets, Options options, Console& console,
                QObject* parent = nullptr);
    ~FleetRunner() override;

    void start();
    // Ends every run as soon as its indicator allows; runs not started yet never start.
    void cancelAll();

    // The worst outcome: a lost channel, then an indicator that did not store everything.
    ExitCode exitCode() const;
    const std::vector<std::unique_ptr<TargetRun>>& runs() const { return m_runs; }
    // The lines a terminal shows while runs go on: one per running target, and for a fleet a
    // line of totals first.
    QStringList progressLines() const;

signals:
    void done();

private:
    void startNext();
    void onRunFinished(TargetRun* run);
    QJsonObject jsonOf(const TargetRun& run) const;

    Options m_options;
    Console& m_console;
    std::vector<std::unique_ptr<TargetRun>> m_runs;
    size_t m_next = 0;
    // The runs that hold a place among the --parallel at work, and those due for another try.
    QSet<TargetRun*> m_atWork;
    QList<TargetRun*> m_retries;
    int m_finished = 0;
    int m_nameWidth = 0;
    bool m_cancelled = false;
};

// The table printed at the end of a fleet: name, serial number, outcome, seconds and, when
// asked, the tries; a row per target in the order of the file, the rows skipped included.
QStringList summaryTable(const std::vector<std::unique_ptr<TargetRun>>& runs,
                         const QList<FleetFile::BadRow>& badRows, bool withTries = false);

} // namespace Cli
