// Runs the real ticket-talvor-cli against simulated indicators on TCP on 127.0.0.1: a full
// 32768-byte download into one indicator alone, then the same into 50 indicators with
// `fleet --parallel 50`, and prints what each cost the program: wall time, exchanges per second
// over all indicators, CPU time and peak memory of the program's process (wait4).
//
// The simulators run on threads of this process, so their work is not counted as the
// program's. By default they hold every byte to the time a 115200-baud wire would take, as an
// indicator behind a serial device server does; --baud 0 makes them answer at once, which
// shows what the single event loop costs when nothing waits.

#include "BenchContents.h"
#include "IndicatorSimulator.h"
#include "ticket/DownloadPlan.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdio>
#include <memory>
#include <vector>

extern char** environ;

namespace {

using BenchContents::Contents;

constexpr int kDefaultCount = 50;
constexpr int kDefaultBaud = 115200;
constexpr double kTargetRatio = 3.0;
constexpr std::chrono::seconds kLateBy{5};

double seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double selfCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Measurement {
    int exitCode = -1;
    double wall = 0;
    double programCpu = 0; // the program's process: user + system
    double userCpu = 0;
    double systemCpu = 0;
    long peakKiB = 0;        // the program's ru_maxrss
    double simulatorCpu = 0; // this process meanwhile: the simulators' threads
    quint64 exchanges = 0;   // commands the simulators received
    bool verified = false;
};

// Starts the program with stdout and stderr in files and waits for it; its own resource usage
// comes back with it.
Measurement runProgram(const QString& program, const QStringList& arguments, const QString& outPath,
                       const QString& errPath)
{
    Measurement m;
    std::vector<QByteArray> storage{QFile::encodeName(program)};
    for (const QString& a : arguments)
        storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(outPath);
    const QByteArray err = QFile::encodeName(errPath);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const double cpuBefore = selfCpu();
    QElapsedTimer wall;
    wall.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return m;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    // A benchmark may block here: the simulators answer on their own threads meanwhile.
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    m.wall = double(wall.nsecsElapsed()) / 1e9;
    m.simulatorCpu = selfCpu() - cpuBefore;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.userCpu = seconds(usage.ru_utime);
    m.systemCpu = seconds(usage.ru_stime);
    m.programCpu = m.userCpu + m.systemCpu;
    m.peakKiB = usage.ru_maxrss;
    return m;
}

void print(const char* name, const Measurement& m, int indicators)
{
    std::printf("%s\n", name);
    std::printf("  exit code %d, indicators verified: %s\n", m.exitCode,
                m.verified ? "all hold the tickets exactly" : "NO");
    std::printf("  wall %.3f s, %llu exchanges in all, %.0f exchanges/s in all (%.0f per "
                "indicator)\n",
                m.wall, static_cast<unsigned long long>(m.exchanges), m.exchanges / m.wall,
                m.exchanges / m.wall / indicators);
    std::printf("  program CPU %.3f s (user %.3f, system %.3f) = %.0f%% of one core; peak memory "
                "%ld KiB (ru_maxrss)\n",
                m.programCpu, m.userCpu, m.systemCpu, 100 * m.programCpu / m.wall, m.peakKiB);
    std::printf("  simulators' CPU meanwhile (this process) %.3f s\n", m.simulatorCpu);
}

QString writeFile(const QDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// A port nothing listens on yet, for an indicator that comes up later.
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// A fleet in which some indicators come up late, stored in one run with --retries; then the
// same fleet with --skip-stored, which writes nothing. True when both did what they should.
bool runLateFleet(const QString& cli, const QDir& folder, const QStringList& ticketArguments,
                  const Contents& contents, int count, int baud)
{
    const int lateCount = count / 5;
    sim::Faults faults;
    faults.baud = baud;
    std::vector<std::unique_ptr<sim::IndicatorSimulator>> indicators;
    QList<quint16> latePorts;
    QByteArray csv = "name,port\n";
    for (int i = 0; i < count; ++i) {
        auto indicator = std::make_unique<sim::IndicatorSimulator>();
        faults.serial = "L" + QByteArray::number(i);
        indicator->setFaults(faults);
        const bool late = i % (count / lateCount) == 0 && latePorts.size() < lateCount;
        const quint16 port = late ? freePort() : 0;
        if (late)
            latePorts.append(port);
        else if (!indicator->startTcp(0))
            return false;
        csv += QStringLiteral("late-%1,tcp:127.0.0.1:%2\n")
                   .arg(QString::number(i), QString::number(late ? port : indicator->tcpPort()))
                   .toLatin1();
        indicators.push_back(std::move(indicator));
    }
    const QString targets = writeFile(folder, QStringLiteral("late.csv"), csv);
    // The late ones come up 5 s after the program starts, on a thread of their own: the
    // benchmark's own thread waits for the program.
    std::thread starter([&] {
        std::this_thread::sleep_for(kLateBy);
        int k = 0;
        for (auto& indicator : indicators) {
            if (!indicator->isRunning())
                indicator->startTcp(latePorts.value(k++));
        }
    });
    const QStringList arguments = QStringList{"fleet",         "--targets",   targets,
                                              "--parallel",    QString::number(count),
                                              "--retries",     "3",           "--retry-after",
                                              "2"} +
                                  ticketArguments;
    const Measurement retried = runProgram(cli, arguments, folder.filePath("late-out.txt"),
                                           folder.filePath("late-err.txt"));
    starter.join();
    bool stored = retried.exitCode == 0;
    for (const auto& indicator : indicators) {
        for (int s = 1; s <= SlotTable::kSlotCount; ++s)
            stored = stored && indicator->slot(s) == contents[s - 1];
        indicator->resetRecord();
    }
    std::printf("\n%d indicators, %d of them up %lld s late (fleet --retries 3 --retry-after 2)\n"
                "  exit code %d, wall %.3f s: %s\n",
                count, lateCount, static_cast<long long>(kLateBy.count()), retried.exitCode,
                retried.wall, stored ? "all stored" : "NOT ALL STORED");

    const Measurement skipped =
        runProgram(cli, arguments + QStringList{"--skip-stored"},
                   folder.filePath("skip-out.txt"), folder.filePath("skip-err.txt"));
    bool nothingWritten = skipped.exitCode == 0;
    for (const auto& indicator : indicators)
        nothingWritten = nothingWritten &&
                         indicator->commandLines() == QList<QByteArray>{";C4", ";SR"};
    std::printf("The same %d with --skip-stored\n  exit code %d, wall %.3f s: %s\n", count,
                skipped.exitCode, skipped.wall,
                nothingWritten ? "nothing written, each only queried" : "SOMETHING WRITTEN");
    return stored && nothingWritten;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&args](const char* name, int fallback) {
        const qsizetype at = args.indexOf(QString::fromLatin1(name));
        return at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
    };
    const int count = std::max(1, option("--count", kDefaultCount));
    const int baud = std::max(0, option("--baud", kDefaultBaud));
    const qsizetype cliAt = args.indexOf(QStringLiteral("--cli"));
    const QString cli =
        cliAt > 0 && cliAt + 1 < args.size() ? args[cliAt + 1] : QStringLiteral(TALVOR_CLI_PATH);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 2;
    }
    // The program's settings and data folders stay inside the benchmark's own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    const QDir folder(dir.path());

    const Contents contents = BenchContents::make(42);
    QStringList ticketArguments;
    for (int s = 1; s <= SlotTable::kSlotCount; ++s) {
        if (contents[s - 1].isEmpty())
            continue;
        const QString path =
            writeFile(folder, QStringLiteral("slot%1.prn").arg(s), contents[s - 1]);
        ticketArguments << "--slot" << QStringLiteral("%1=%2").arg(s).arg(path);
    }

    sim::Faults faults;
    faults.baud = baud;
    std::vector<std::unique_ptr<sim::IndicatorSimulator>> indicators;
    QByteArray csv = "name,port\n";
    for (int i = 0; i < count; ++i) {
        auto indicator = std::make_unique<sim::IndicatorSimulator>();
        indicator->setFaults(faults);
        QString error;
        if (!indicator->startTcp(0, &error)) {
            std::fprintf(stderr, "simulator %d: %s\n", i, qPrintable(error));
            return 2;
        }
        csv += QStringLiteral("indicator-%1,tcp:127.0.0.1:%2\n")
                   .arg(i, 2, 10, QLatin1Char('0'))
                   .arg(indicator->tcpPort())
                   .toLatin1();
        indicators.push_back(std::move(indicator));
    }
    const QString targets = writeFile(folder, QStringLiteral("targets.csv"), csv);

    const qsizetype commands = makeDownloadPlan(contents).allCommands().size() + 2;
    std::printf("ticket-talvor-cli: %s\nA full download of %d bytes, %lld commands with the query, "
                "over TCP on 127.0.0.1; simulators %s\n\n",
                qPrintable(cli), IndicatorProtocol::kDataAreaSize, static_cast<long long>(commands),
                baud > 0 ? qPrintable(QStringLiteral("hold every byte to a %1-baud wire").arg(baud))
                         : "answer at once");

    const auto measure = [&](const QStringList& arguments, int first, int n) {
        quint64 before = 0;
        for (int i = first; i < first + n; ++i) {
            indicators[i]->resetRecord();
            before += indicators[i]->counters().commands;
        }
        Measurement m =
            runProgram(cli, arguments, dir.filePath("out.txt"), dir.filePath("err.txt"));
        m.verified = m.exitCode == 0;
        for (int i = first; i < first + n; ++i) {
            m.exchanges += indicators[i]->counters().commands;
            for (int s = 1; s <= SlotTable::kSlotCount; ++s)
                m.verified = m.verified && indicators[i]->slot(s) == contents[s - 1];
        }
        m.exchanges -= before;
        if (m.exitCode != 0) {
            QFile err(dir.filePath("err.txt"));
            if (err.open(QIODevice::ReadOnly))
                std::fprintf(stderr, "%s\n", err.readAll().right(2000).constData());
        }
        return m;
    };

    const Measurement alone =
        measure(QStringList{"download", "--port",
                            QStringLiteral("tcp:127.0.0.1:%1").arg(indicators[0]->tcpPort()),
                            "--no-record"} +
                    ticketArguments,
                0, 1);
    print("One indicator alone (download)", alone, 1);

    const Measurement fleet = measure(QStringList{"fleet", "--targets", targets, "--parallel",
                                                  QString::number(count), "--no-record"} +
                                          ticketArguments,
                                      0, count);
    std::printf("\n");
    print(qPrintable(QStringLiteral("%1 indicators at once (fleet --parallel %1)").arg(count)),
          fleet, count);

    const double ratio = fleet.wall / alone.wall;
    std::printf("\nwall of %d at once / wall of one = %.2f (target under %.1f): %s\n", count, ratio,
                kTargetRatio, ratio < kTargetRatio ? "met" : "NOT MET");
    const bool late = runLateFleet(cli, folder, ticketArguments, contents, count, baud);
    const bool ok = alone.verified && fleet.verified && late;
    std::printf("%s\n", ok ? "Every indicator verified: its slots equal the tickets sent."
                           : "SOME DOWNLOAD FAILED.");
    return ok ? 0 : 1;
}
