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
    for (const Target& target : targets) {
        m_nameWidth =
            std::max(m_nameWidth, int(TextRoutines::describeControls(target.name).size()));
        TargetRun::Setup setup;
        setup.target = target;
        setup.task = m_options.task;
        setup.tickets = m_options.tickets;
        setup.settingsPath = m_options.settingsPath;
        if (m_options.task == TargetRun::Task::Download)
            setup.recordPath = m_options.recordPath;
        setup.retries = m_options.retries;
        setup.retryAfter = m_options.retryAfter;
        setup.stored = m_options.stored;
        auto run = std::make_unique<TargetRun>(std::move(setup), console);
        TargetRun* raw = run.get();
        // Queued: a run reports its end from inside its own handlers.
        connect(
            raw, &TargetRun::finished, this, [this, raw] { onRunFinished(raw); },
            Qt::QueuedConnection);
        // A run resting before its next try holds no place; it queues for one when it is due.
        connect(raw, &TargetRun::resting, this, [this, raw] {
            m_atWork.remove(raw);
            startNext();
        });
        connect(raw, &TargetRun::readyToRetry, this, [this, raw] {
            m_retries.append(raw);
            startNext();
        });
        m_runs.push_back(std::move(run));
    }
}

FleetRunner::~FleetRunner() = default;

void FleetRunner::start()
{
    m_console.setProgressSource([this] { return progressLines(); });
    // Every row of the file is accounted for: those that could not be used first.
    if (m_options.json) {
        for (const FleetFile::BadRow& bad : m_options.badRows)
            m_console.outputExact(jsonLine(QJsonObject{
                {QStringLiteral("line"), bad.line},
                {QStringLiteral("name"), bad.name},
                {QStringLiteral("port"), bad.port},
                {QStringLiteral("outcome"), QStringLiteral("skipped")},
                {QStringLiteral("reason"), bad.fault},
            }));
    }
    if (m_runs.empty()) {
        QMetaObject::invokeMethod(this, &FleetRunner::done, Qt::QueuedConnection);
        return;
    }
    startNext();
    m_console.startProgress();
}

// Runs due for another try go first: they have waited their time already.
void FleetRunner::startNext()
{
    while (m_atWork.size() < m_options.parallel &&
           (!m_retries.isEmpty() || m_next < m_runs.size())) {
        TargetRun* run = m_retries.isEmpty() ? m_runs[m_next++].get() : m_retries.takeFirst();
        m_atWork.insert(run);
        // A fleet cancelled before a row's turn never opens its channel.
        if (m_cancelled)
            run->skipCancelled();
        else
            run->start();
    }
}

void FleetRunner::onRunFinished(TargetRun* run)
{
    // A run cancelled while it rested, or while it queued for its next try, held no place.
    m_atWork.remove(run);
    m_retries.removeAll(run);
    ++m_finished;
    if (m_options.json)
        m_console.outputExact(jsonLine(jsonOf(*run)));
    startNext();
    if (m_finished == int(m_runs.size())) {
        m_console.stopProgress();
        emit done();
    }
}

// The row's object as the run ended: the record of its last try with where it went and how many
// tries it took, or for a query what the indicator said.
QJsonObject FleetRunner::jsonOf(const TargetRun& run) const
{
    const Target& target = run.target();
    if (m_options.task == TargetRun::Task::Query)
        return {{QStringLiteral("port"), target.port.text},
                {QStringLiteral("version"), run.version()},
                {QStringLiteral("serial"), run.serial()},
                {QStringLiteral("outcome"), Outcomes::word(run.outcome())}};
    QJsonObject json = run.record().toJson();
    // A row of a targets file; a single download has neither.
    if (target.line > 0) {
        json.insert(QStringLiteral("line"), target.line);
        json.insert(QStringLiteral("name"), target.name);
    }
    json.insert(QStringLiteral("port"), target.port.text);
    json.insert(QStringLiteral("tries"), run.tries());
    return json;
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
    // Names are cut to leave the figures their room on a narrow terminal.
    constexpr int kFigures = 48;
    constexpr int kShortestName = 8;
    const int nameWidth =
        std::min(m_nameWidth, std::max(kShortestName, m_console.columns() - kFigures));
    QStringList lines;
    int done = 0;
    for (const auto& run : m_runs) {
        done += run->phase() == TargetRun::Phase::Done ? 1 : 0;
        const QString line = run->progressLine(nameWidth);
        if (!line.isEmpty())
            lines.append(line);
    }
    if (m_runs.size() > 1) {
        lines.prepend(QStringLiteral("%1 of %2 done, %3 running")
                          .arg(QString::number(done), QString::number(m_runs.size()),
                               QString::number(m_atWork.size())));
    }
    return lines;
}

QStringList summaryTable(const std::vector<std::unique_ptr<TargetRun>>& runs,
                         const QList<FleetFile::BadRow>& badRows, bool withTries)
{
    // The columns, the last ones right-aligned: name, serial number, outcome, seconds[, tries].
    using Row = std::pair<int, QStringList>;
    // Named before they are measured, so that the columns stay aligned on the screen.
    const auto shown = [](const QString& text) {
        return text.isEmpty() ? QStringLiteral("-") : TextRoutines::describeControls(text);
    };
    QList<Row> rows;
    for (const auto& run : runs) {
        QStringList cells{shown(run->target().name), shown(run->record().serial),
                          Outcomes::word(run->outcome()),
                          QString::number(run->record().seconds, 'f', 2)};
        if (withTries)
            cells.append(QString::number(run->tries()));
        rows.append({run->target().line, cells});
    }
    for (const FleetFile::BadRow& bad : badRows) {
        QStringList cells{shown(bad.name), QStringLiteral("-"),
                          QStringLiteral("bad row (line %1)").arg(bad.line), QStringLiteral("-")};
        if (withTries)
            cells.append(QStringLiteral("-"));
        rows.append({bad.line, cells});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.first < b.first; });
    QStringList header{QStringLiteral("name"), QStringLiteral("serial number"),
                       QStringLiteral("outcome"), QStringLiteral("seconds")};
    if (withTries)
        header.append(QStringLiteral("tries"));
    rows.prepend({0, header});
    QList<qsizetype> widths(header.size(), 0);
    for (const Row& row : rows) {
        for (qsizetype i = 0; i < row.second.size(); ++i)
            widths[i] = std::max(widths[i], row.second.at(i).size());
    }
    constexpr qsizetype kLeftAligned = 3;
    QStringList lines;
    for (const Row& row : rows) {
        QStringList cells;
        for (qsizetype i = 0; i < row.second.size(); ++i)
            cells.append(i < kLeftAligned ? row.second.at(i).leftJustified(widths[i])
                                          : row.second.at(i).rightJustified(widths[i]));
        lines.append(cells.join(QStringLiteral("  ")));
    }
    return lines;
}

} // namespace Cli
