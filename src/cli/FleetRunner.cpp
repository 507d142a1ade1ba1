#include "cli/FleetRunner.h"

#include "cli/Console.h"
#include "cli/JsonLine.h"
#include "platform/TextRoutines.h"

#include <algorithm>
#include <cmath>

namespace Cli {

FleetRunner::FleetRunner(const QList<Target>& targets, Options options, Console& console,
                         QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_console(console)
{
    int nameWidth = 0;
    for (const Target& target : targets)
        nameWidth = std::max(nameWidth, int(TextRoutines::describeControls(target.name).size()));
    for (const Target& target : targets) {
        TargetRun::Setup setup{target,
                               m_options.task,
                               m_options.tickets,
                               m_options.settingsPath,
                               m_options.task == TargetRun::Task::Download ? m_options.recordPath
                                                                           : QString(),
                               nameWidth};
        auto run = std::make_unique<TargetRun>(std::move(setup), console);
        TargetRun* raw = run.get();
        // Queued: a run reports its end from inside its own handlers.
        connect(
            raw, &TargetRun::finished, this, [this, raw] { onRunFinished(raw); },
            Qt::QueuedConnection);
        m_runs.push_back(std::move(run));
    }
}

FleetRunner::~FleetRunner() = default;

void FleetRunner::start()
{
    m_console.setProgressSource([this] { return progressLines(); });
    if (m_runs.empty()) {
        QMetaObject::invokeMethod(this, &FleetRunner::done, Qt::QueuedConnection);
        return;
    }
    startNext();
    m_console.startProgress();
}

void FleetRunner::startNext()
{
    while (m_running < m_options.parallel && m_next < m_runs.size()) {
        TargetRun* run = m_runs[m_next++].get();
        ++m_running;
        // A fleet cancelled before a row's turn never opens its channel.
        if (m_cancelled)
            run->skipCancelled();
        else
            run->start();
    }
}

void FleetRunner::onRunFinished(TargetRun* run)
{
    --m_running;
    ++m_finished;
    if (m_options.task == TargetRun::Task::Download && m_options.json) {
        // The objects come as the runs end: the row's name and port tell which is which.
        QJsonObject json = run->record().toJson();
        json.insert(QStringLiteral("name"), run->target().name);
        json.insert(QStringLiteral("port"), run->target().port.text);
        m_console.outputExact(jsonLine(json));
    }
    startNext();
    if (m_finished == int(m_runs.size())) {
        m_console.stopProgress();
        emit done();
    }
}

void FleetRunner::cancelAll()
{
    m_cancelled = true;
    for (const auto& run : m_runs)
        run->cancel();
}

ExitCode FleetRunner::exitCode() const
{
    ExitCode worst = ExitStored;
    for (const auto& run : m_runs)
        worst = worse(worst, run->exitCode());
    return worst;
}

QStringList FleetRunner::progressLines() const
{
    QStringList lines;
    for (const auto& run : m_runs) {
        const QString line = run->progressLine();
        if (!line.isEmpty())
            lines.append(line);
    }
    if (m_runs.size() > 1) {
        lines.prepend(QStringLiteral("%1 of %2 done, %3 running")
                          .arg(QString::number(m_finished), QString::number(m_runs.size()),
                               QString::number(m_running)));
    }
    return lines;
}

QStringList summaryTable(const std::vector<std::unique_ptr<TargetRun>>& runs,
                         const QList<FleetFile::BadRow>& badRows)
{
    struct Row {
        int line;
        QString name, serial, outcome, seconds;
    };
    // Named before they are measured, so that the columns stay aligned on the screen.
    const auto shown = [](const QString& text) {
        return text.isEmpty() ? QStringLiteral("-") : TextRoutines::describeControls(text);
    };
    QList<Row> rows;
    for (const auto& run : runs) {
        rows.append({run->target().line, shown(run->target().name), shown(run->record().serial),
                     Outcomes::word(run->outcome()),
                     QString::number(run->record().seconds, 'f', 2)});
    }
    for (const FleetFile::BadRow& bad : badRows) {
        rows.append({bad.line, shown(bad.name), QStringLiteral("-"),
                     QStringLiteral("bad row (line %1)").arg(bad.line), QStringLiteral("-")});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.line < b.line; });
    const Row header{0, QStringLiteral("name"), QStringLiteral("serial number"),
                     QStringLiteral("outcome"), QStringLiteral("seconds")};
    qsizetype nameWidth = header.name.size();
    qsizetype serialWidth = header.serial.size();
    qsizetype outcomeWidth = header.outcome.size();
    qsizetype secondsWidth = header.seconds.size();
    for (const Row& row : rows) {
        nameWidth = std::max(nameWidth, row.name.size());
        serialWidth = std::max(serialWidth, row.serial.size());
        outcomeWidth = std::max(outcomeWidth, row.outcome.size());
        secondsWidth = std::max(secondsWidth, row.seconds.size());
    }
    QStringList lines;
    rows.prepend(header);
    for (const Row& row : rows) {
        lines.append(row.name.leftJustified(nameWidth) + QStringLiteral("  ") +
                     row.serial.leftJustified(serialWidth) + QStringLiteral("  ") +
                     row.outcome.leftJustified(outcomeWidth) + QStringLiteral("  ") +
                     row.seconds.rightJustified(secondsWidth));
    }
    return lines;
}

} // namespace Cli
