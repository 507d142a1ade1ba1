// ticket-talvor-cli: the window's query and download from the command line, for one indicator
// or a fleet of them.
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/FleetRunner.h"
#include "cli/HelpText.h"
#include "cli/PortsCommand.h"
#include "cli/StoredTickets.h"
#include "cli/Tickets.h"
#include "platform/LogSource.h"
#include "platform/SettingsStore.h"
#include "platform/SystemNames.h"
#include "platform/TextRoutines.h"
#include "session/PortIdentity.h"
#include "version.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QThread>
#include <cstdio>
#include <optional>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using namespace Cli;

const char* const kProgram = "ticket-talvor-cli";

// Lines on stderr before the console runs, each of the text's lines after the prefix; their
// control characters named as the console's are, since they may quote an argument or a line of
// a file.
void sayError(const QString& text, const QString& prefix = {})
{
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
        std::fprintf(stderr, "%s\n",
                     TextRoutines::describeControls(prefix + line).toLocal8Bit().constData());
}

// An error of the program's, each line under its name.
void sayProgramError(const QString& text)
{
    sayError(text, QLatin1String(kProgram) + QStringLiteral(": "));
}

// The error, and where to read how it is done right: the command's help when one was named.
int usageError(const QString& text, const QString& command)
{
    const bool known = findCommand(command) != nullptr;
    sayProgramError(text);
    std::fprintf(stderr, "Try '%s %s--help'.\n", kProgram,
                 known ? TextRoutines::describeControls(command + u' ').toLocal8Bit().constData()
                       : "");
    return ExitUsage;
}

int fileError(const QString& text)
{
    sayProgramError(text);
    return ExitUsage;
}

// Log lines (talvor.exchange and the like) go above the progress lines like every other line;
// written past the console they would end up inside the block it draws again.
Console* g_console = nullptr;

// A line that names its indicator starts with that name, as the fleet's other lines do.
void routeMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const QString source = LogSource::take();
    const QString prefix = source.isEmpty() ? QString() : source + QStringLiteral(": ");
    const QString line = qFormatLogMessage(type, context, text);
    if (g_console && QThread::currentThread() == QCoreApplication::instance()->thread())
        g_console->message(prefix, line);
    else
        sayError(prefix + line);
}

#ifdef Q_OS_UNIX
// Ctrl-C or a TERM cancels the downloads as the window's Cancel does: each stops after the reply
// in flight and is recorded as cancelled. A second one ends the program at once.
int g_signalSockets[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(g_signalSockets[0], &byte, 1);
    std::signal(number, SIG_DFL);
}

void cancelOnSignals(FleetRunner& runner)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalSockets) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalSockets[1], QSocketNotifier::Read, &runner);
    QObject::connect(notifier, &QSocketNotifier::activated, &runner, [&runner] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_signalSockets[1], &byte, 1);
        runner.cancelAll();
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}
#else
void cancelOnSignals(FleetRunner&) {}
#endif

// The fleet's rows that reach one indicator under two spellings: the second is refused, as a
// repeated name is. Host names are looked up now, before any run starts.
void refuseSamePorts(FleetFile& fleet, const QString& settingsPath)
{
    PortIdentity identity{ComPorts::fromSettings(SettingsStore(settingsPath))};
    QList<PortAddress> ports;
    for (const Target& target : std::as_const(fleet.targets))
        ports.append(target.port);
    identity.lookUpHosts(ports);
    Cli::refuseSamePorts(fleet, [&](const PortAddress& port) { return identity.of(port); });
}

// The targets of the command: the fleet file's rows, or the one port given. Nothing when the
// fleet file cannot be used; *code is then the exit status.
std::optional<QList<Target>> readTargets(const Command& command, const QString& settingsPath,
                                         QList<FleetFile::BadRow>* badRows, int* code)
{
    if (command.kind != Command::Kind::Fleet) {
        Target target;
        target.port = command.port;
        target.baud = command.baud;
        target.tls = command.tls;
        return QList<Target>{target};
    }
    FleetFile fleet = readFleet(command.targetsPath, command.tls);
    if (!fleet.fault.isEmpty()) {
        *code = fileError(fleet.fault);
        return std::nullopt;
    }
    refuseSamePorts(fleet, settingsPath);
    for (const FleetFile::BadRow& bad : fleet.badRows)
        sayError(QStringLiteral("%1:%2: skipped: %3")
                     .arg(command.targetsPath, QString::number(bad.line), bad.fault));
    if (fleet.targets.isEmpty()) {
        *code = fileError(QStringLiteral("%1: no row names a usable indicator; nothing was sent")
                              .arg(command.targetsPath));
        return std::nullopt;
    }
    *badRows = fleet.badRows;
    return fleet.targets;
}

// Runs every target in this thread's event loop and prints what a command prints at the end.
ExitCode runTargets(const Command& command, const QList<Target>& targets,
                    const QList<FleetFile::BadRow>& badRows, const Tickets& tickets,
                    const QString& settingsPath)
{
    Console console(Console::stderrIsTerminal());
    g_console = &console;
    qInstallMessageHandler(routeMessage);
    // The traffic log's notes are for whoever asks for them; QT_LOGGING_RULES still decides
    // over these.
    if (!command.verbose)
        QLoggingCategory::setFilterRules(
            QStringLiteral("talvor.exchange.info=false\ntalvor.exchange.warning=false"));
    FleetRunner::Options options;
    options.task =
        command.kind == Command::Kind::Query ? TargetRun::Task::Query : TargetRun::Task::Download;
    options.tickets = &tickets;
    options.settingsPath = settingsPath;
    options.parallel = command.parallel;
    options.json = command.json;
    if (!command.noRecord)
        options.recordPath = DownloadLog::defaultPath();
    options.retries = command.retries;
    options.retryAfter = command.retryAfter;
    options.badRows = badRows;
    std::optional<StoredTickets> stored;
    if (command.skipStored) {
        stored.emplace(DownloadLog::defaultPath());
        options.stored = &*stored;
    }
    FleetRunner runner(targets, options, console);
    QObject::connect(&runner, &FleetRunner::done, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    cancelOnSignals(runner);
    runner.start();
    QCoreApplication::exec();
    qInstallMessageHandler(nullptr);
    g_console = nullptr;

    const TargetRun& first = *runner.runs().front();
    if (command.kind == Command::Kind::Query && !command.json && first.exitCode() == ExitStored) {
        console.output(QStringLiteral("SW-Version: ") + first.version());
        console.output(QStringLiteral("Serial-Number: ") + first.serial());
    }
    ExitCode code = runner.exitCode();
    if (command.kind != Command::Kind::Fleet)
        return code;
    for (const QString& line : summaryTable(runner.runs(), badRows, command.retries > 0)) {
        if (command.json)
            console.message(QString(), line);
        else
            console.output(line);
    }
    // Skipped rows were not stored either; only a worse outcome says more.
    return badRows.isEmpty() ? code : worse(code, ExitUsage);
}

// Why the settings file given with --settings cannot be used; empty when it can, or when none
// was given.
QString settingsFileFault(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || info.isFile())
        return {};
    return (info.isDir()    ? QStringLiteral("the settings file %1 is a folder")
            : info.exists() ? QStringLiteral("the settings file %1 is not a file")
                            : QStringLiteral("the settings file %1 does not exist"))
        .arg(path);
}

// What the command does once its arguments are read.
int run(const Command& command)
{
    switch (command.kind) {
    case Command::Kind::Help:
        std::fputs(qPrintable(helpText(command.helpTopic)), stdout);
        return ExitStored;
    case Command::Kind::Version:
        std::printf("%s %d.%d.%d\n", kProgram, talvor::build::kVersionMajor,
                    talvor::build::kVersionMinor, talvor::build::kVersionPatch);
        return ExitStored;
    case Command::Kind::Query:
    case Command::Kind::Download:
    case Command::Kind::Fleet:
    case Command::Kind::Ports:
        break;
    }
    const QString settingsPath =
        command.settingsPath.isEmpty() ? SettingsStore::defaultPath() : command.settingsPath;
    if (const QString fault = settingsFileFault(command.settingsPath); !fault.isEmpty())
        return fileError(fault);
    if (command.kind == Command::Kind::Ports) {
        Console console(Console::stderrIsTerminal());
        return runPorts(command, settingsPath, console);
    }

    Tickets tickets;
    QString error;
    if (command.kind != Command::Kind::Query && !loadTickets(command, &tickets, &error))
        return fileError(error);
    QList<FleetFile::BadRow> badRows;
    int code = ExitUsage;
    const std::optional<QList<Target>> targets =
        readTargets(command, settingsPath, &badRows, &code);
    if (!targets)
        return code;
    return runTargets(command, *targets, badRows, tickets, settingsPath);
}

} // namespace

int main(int argc, char* argv[])
{
#ifdef Q_OS_UNIX
    // A reader that goes away (`| head -n1`) ends the printing, not the downloads still under way:
    // a write to it fails instead, and the console stops writing there.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    // The same name as the window's: the same settings folder and the same download record.
    QCoreApplication::setApplicationName(SettingsStore::kApplicationName);

#ifdef Q_OS_UNIX
    // File names are bytes here: a name that is not UTF-8 text must still find its file.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(SystemNames::fromBytes(argv[i]));
#else
    const QStringList arguments = QCoreApplication::arguments().mid(1);
#endif
    const ParseResult parsed = parseArguments(arguments);
    if (!parsed.command)
        return usageError(parsed.error, arguments.value(0));
    return run(*parsed.command);
}
