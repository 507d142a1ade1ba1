// Downloads a full ticket memory through the Downloader (no window) into the simulator and prints
// what it costs: over the real serial channel on a pseudo-terminal with an instantly answering
// simulator, over TCP on 127.0.0.1, and on the pseudo-terminal with the simulator holding every
// byte to the time a 115200-baud wire would take.

#include "BenchContents.h"
#include "IndicatorSimulator.h"
#include "link/ChannelFactory.h"
#include "link/CommandExchange.h"
#include "link/IndicatorQuery.h"
#include "platform/Rfc2217Channel.h"
#include "support/Ser2Net.h"
#include "support/TestCertificates.h"
#include "ticket/DownloadMessages.h"
#include "ticket/Downloader.h"
#include "ticket/TicketSlots.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

using BenchContents::Contents;

constexpr int kWireBaud = 115200;
constexpr int kDefaultRuns = 3;
constexpr int kBitsPerByte = 10; // start bit, 8 data bits, stop bit
constexpr auto kConnectLimit = std::chrono::seconds(5);
constexpr int kReferenceReplyLimitMs = 2000;
constexpr auto kDeviceRelease = std::chrono::milliseconds(500);

struct Usage {
    double processCpu; // seconds, every thread (the simulator's included)
    double threadCpu;  // seconds, this thread: the downloader, the exchange and the channel
    long maxRssKiB;
};

double seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

Usage usage()
{
    rusage process{}, thread{};
    getrusage(RUSAGE_SELF, &process);
    getrusage(RUSAGE_THREAD, &thread);
    return {seconds(process.ru_utime) + seconds(process.ru_stime),
            seconds(thread.ru_utime) + seconds(thread.ru_stime), process.ru_maxrss};
}

struct Measurement {
    bool verified = false;
    int commands = 0;
    int probes = 0;          // in-step probes, on top of the commands
    double probeSeconds = 0; // from each probe's start to its answer
    quint64 simulatorCommands = 0;
    double wallSeconds = 0;
    double processCpu = 0;
    double threadCpu = 0;
    quint64 wireBytes = 0;
    int messages = 0;
    double referenceSeconds = 0; // the minimal blocking client right after, 0 when not run
};

// One download on the channel, run from the program's event loop, after the query that tells the
// exchange the version its in-step probes look for.
Measurement runDownload(LineChannel& channel, sim::IndicatorSimulator& simulator,
                        const Contents& contents)
{
    CommandExchange exchange;
    exchange.setChannel(&channel);
    {
        IndicatorQuery query(exchange);
        QObject::connect(&query, &IndicatorQuery::finished, qApp, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        query.start();
        QCoreApplication::exec();
    }
    // Notices would mean the download went wrong: they are printed and counted.
    int messages = 0;
    Downloader downloader(exchange);
    QObject::connect(&downloader, &Downloader::notice, [&messages](const DownloadNotice& notice) {
        std::fprintf(stderr, "  message %s\n", qPrintable(DownloadMessages::text(notice)));
        ++messages;
    });
    QObject::connect(&downloader, &Downloader::finished, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // The simulator's record of every line and answer would otherwise grow with each run and be
    // counted as the program's memory.
    simulator.resetRecord();
    const sim::Counters before = simulator.counters();
    const Usage startUsage = usage();
    QElapsedTimer wall;
    // Each command goes out as the answer to the one before it is taken, so a probe lasts from
    // that answer to its own.
    qint64 lastAnswerNs = 0;
    qint64 probeNs = 0;
    QObject::connect(&exchange, &CommandExchange::replyTaken, qApp,
                     [&](const QByteArray& command, const QByteArray&) {
                         const qint64 now = wall.nsecsElapsed();
                         if (command == IndicatorProtocol::kVersionCommand)
                             probeNs += now - lastAnswerNs;
                         lastAnswerNs = now;
                     });
    wall.start();
    downloader.start(contents);
    QCoreApplication::exec();
    Measurement m;
    m.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    m.probeSeconds = double(probeNs) / 1e9;
    const Usage endUsage = usage();
    const sim::Counters after = simulator.counters();

    m.verified = messages == 0;
    for (int s = 1; s <= SlotTable::kSlotCount; ++s)
        m.verified = m.verified && simulator.slot(s) == contents[s - 1];
    m.commands = downloader.commandsSent();
    m.probes = downloader.probesSent();
    m.simulatorCommands = after.commands - before.commands;
    m.processCpu = endUsage.processCpu - startUsage.processCpu;
    m.threadCpu = endUsage.threadCpu - startUsage.threadCpu;
    m.wireBytes = (after.bytesIn - before.bytesIn) + (after.bytesOut - before.bytesOut);
    m.messages = messages;
    return m;
}

void print(const char* name, const QList<Measurement>& runs)
{
    std::printf("%s\n", name);
    for (int k = 0; k < runs.size(); ++k) {
        const Measurement& m = runs[k];
        std::printf(
            "  run %d: %d commands and %d in-step probes sent (simulator got %llu), wall %.3f s, "
            "%.0f exchanges/s, CPU %.3f s process / %.3f s downloader thread, %llu bytes on the "
            "wire, slots %s\n",
            k + 1, m.commands, m.probes, static_cast<unsigned long long>(m.simulatorCommands),
            m.wallSeconds, (m.commands + m.probes) / m.wallSeconds, m.processCpu, m.threadCpu,
            static_cast<unsigned long long>(m.wireBytes), m.verified ? "verified" : "WRONG");
        if (m.referenceSeconds > 0)
            std::printf("         reference client right after: wall %.3f s, %.0f exchanges/s\n",
                        m.referenceSeconds, m.commands / m.referenceSeconds);
    }
    QList<double> rates;
    for (const Measurement& m : runs)
        rates.append((m.commands + m.probes) / m.wallSeconds);
    std::sort(rates.begin(), rates.end());
    std::printf("  exchanges/s: median %.0f, best %.0f; peak memory so far %ld KiB (ru_maxrss)\n",
                rates[rates.size() / 2], rates.last(), usage().maxRssKiB);
}

bool allVerified(const QList<Measurement>& runs)
{
    return std::all_of(runs.begin(), runs.end(), [](const Measurement& m) { return m.verified; });
}

// The floor the machine allows: the same commands from a minimal blocking client without Qt,
// one outstanding, on the same pseudo-terminal. Only a yardstick for the wire-time ratio; the
// program itself never blocks.
struct Reference {
    bool ok = false;
    double wallSeconds = 0;
    quint64 wireBytes = 0;
};

Reference runReference(const QString& path, sim::IndicatorSimulator& simulator,
                       const QList<QByteArray>& commands)
{
    Reference ref;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return ref;
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    const sim::Counters before = simulator.counters();
    QElapsedTimer wall;
    wall.start();
    ref.ok = true;
    char reply[64];
    for (const QByteArray& command : commands) {
        if (::write(fd, command.constData(), size_t(command.size())) != command.size()) {
            ref.ok = false;
            break;
        }
        bool lineDone = false;
        while (ref.ok && !lineDone) {
            pollfd p{fd, POLLIN, 0};
            const ssize_t n =
                ::poll(&p, 1, kReferenceReplyLimitMs) == 1 ? ::read(fd, reply, sizeof reply) : -1;
            ref.ok = n > 0;
            lineDone = ref.ok && std::memchr(reply, '\r', size_t(n)) != nullptr;
        }
        if (!ref.ok)
            break;
    }
    ref.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    const sim::Counters after = simulator.counters();
    ref.wireBytes = (after.bytesIn - before.bytesIn) + (after.bytesOut - before.bytesOut);
    ::close(fd);
    return ref;
}

// Runs the event loop for a while.
void pause(std::chrono::milliseconds time)
{
    QTimer::singleShot(time, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// Runs the event loop until the channel has connected or the limit is reached. A device server
// still busy with the connection before refuses the next one for a moment: tried again.
// Opens the channel, trying again while the server is not there yet; false when it did not
// open within the limit.
bool openWithin(LineChannel& channel, std::chrono::milliseconds limit)
{
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, qApp, &QCoreApplication::quit);
    const auto done =
        QObject::connect(&channel, &LineChannel::stateChanged, qApp, [](LineChannel::State state) {
            if (state == LineChannel::State::Open)
                QCoreApplication::quit();
        });
    const auto failed = QObject::connect(&channel, &LineChannel::failed, qApp, [&channel] {
        QTimer::singleShot(100, &channel, [&channel] { channel.open(); });
    });
    timer.start(limit);
    channel.open();
    if (!channel.isUsable())
        QCoreApplication::exec();
    QObject::disconnect(done);
    QObject::disconnect(failed);
    return channel.isUsable();
}

// The channel to the address, as the program makes it.
std::unique_ptr<LineChannel> channelTo(const QString& address, int rate = 0,
                                       const TlsTrust& trust = {})
{
    QString error;
    auto channel = ChannelFactory::make(*PortAddress::parse(address, &error), ComPorts(), trust);
    if (rate > 0)
        channel->setLineSettings(LineSettings::at(rate));
    return channel;
}

// The same indicator behind ser2net's raw TCP port and behind its RFC 2217 port, one after the
// other, answering at once and at a 115200-baud wire: what the Telnet framing costs.
bool runThroughSer2Net(sim::IndicatorSimulator& simulator, quint32& seed, int runs)
{
    if (Ser2Net::program().isEmpty()) {
        std::printf("\nser2net is not installed: no rows through a device server\n");
        return true;
    }
    Ser2Net server;
    if (const QString error = server.start(simulator.ptyPath(), simulator.ptyPath());
        !error.isEmpty()) {
        std::printf("\nser2net: %s\n", qPrintable(error));
        return false;
    }
    bool ok = true;
    for (const int baud : {0, kWireBaud}) {
        sim::Faults faults;
        faults.baud = baud;
        simulator.setFaults(faults);
        QList<Measurement> rawRuns, rfcRuns;
        const auto rawChannel = channelTo(QStringLiteral("tcp:127.0.0.1:%1").arg(server.rawPort()));
        LineChannel& raw = *rawChannel;
        if (!openWithin(raw, kConnectLimit)) {
            std::printf("\ncannot connect to ser2net's raw port %u\n", server.rawPort());
            return false;
        }
        for (int k = 0; k < runs; ++k)
            rawRuns.append(runDownload(raw, simulator, BenchContents::make(seed + k)));
        raw.close();
        // ser2net lets the device go a moment after its client has gone.
        pause(kDeviceRelease);
        const auto rfcChannel = channelTo(
            QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.rfc2217Port()), kWireBaud);
        LineChannel& rfc = *rfcChannel;
        if (!openWithin(rfc, kConnectLimit)) {
            std::printf("\ncannot connect to ser2net's RFC 2217 port %u\n", server.rfc2217Port());
            return false;
        }
        for (int k = 0; k < runs; ++k)
            rfcRuns.append(runDownload(rfc, simulator, BenchContents::make(seed + k)));
        rfc.close();
        pause(kDeviceRelease);
        seed += quint32(runs);
        const char* pace = baud ? "115200-baud wire" : "answering at once";
        print(qPrintable(QStringLiteral("\nser2net raw TCP port, simulator %1").arg(pace)),
              rawRuns);
        print(qPrintable(QStringLiteral("\nser2net RFC 2217 port, simulator %1").arg(pace)),
              rfcRuns);
        double rawWall = 0, rfcWall = 0;
        for (int k = 0; k < runs; ++k) {
            rawWall += rawRuns[k].wallSeconds;
            rfcWall += rfcRuns[k].wallSeconds;
        }
        std::printf("  RFC 2217 against raw TCP through the same ser2net: %+.2f %% wall\n",
                    100.0 * (rfcWall / rawWall - 1.0));
        ok = ok && allVerified(rawRuns) && allVerified(rfcRuns);
    }
    return ok;
}

// The same indicator behind one ser2net's RFC 2217 port, plain and inside ser2net's own TLS,
// with chardelay off and the simulator at a 115200-baud wire, the two downloads taking turns:
// what TLS costs.
bool runInsideTls(sim::IndicatorSimulator& simulator, quint32& seed, int runs)
{
    if (Ser2Net::program().isEmpty() || TestCertificates::program().isEmpty()) {
        std::printf("\nser2net or openssl is not installed: no rows inside TLS\n");
        return true;
    }
    TestCertificates certificates;
    Ser2Net server;
    QString error = certificates.make();
    if (error.isEmpty())
        error = server.start(
            {Ser2Net::Accepter::rfc2217(simulator.ptyPath()),
             Ser2Net::Accepter::rfc2217Tls(simulator.ptyPath(), certificates.path("server.key"),
                                           certificates.path("server.pem"))},
            false);
    if (!error.isEmpty()) {
        std::printf("\nTLS rows: %s\n", qPrintable(error));
        return false;
    }
    sim::Faults faults;
    faults.baud = kWireBaud;
    simulator.setFaults(faults);
    const TlsTrust trust{certificates.path("ca.pem"), {}, {}, {}};
    QList<Measurement> plainRuns, tlsRuns;
    for (int k = 0; k < runs; ++k) {
        for (const bool tls : {false, true}) {
            const auto channel =
                channelTo(QString(tls ? "rfc2217+tls://" : "rfc2217://") +
                              "127.0.0.1:" + QString::number(server.port(tls ? 1 : 0)),
                          kWireBaud, trust);
            if (!openWithin(*channel, kConnectLimit)) {
                std::printf("\ncannot open %s\n", qPrintable(channel->channelName()));
                return false;
            }
            (tls ? tlsRuns : plainRuns)
                .append(runDownload(*channel, simulator, BenchContents::make(seed + k)));
            channel->close();
            // ser2net lets the device go a moment after its client has gone.
            pause(kDeviceRelease);
        }
    }
    seed += quint32(runs);
    print("\nser2net RFC 2217 port, chardelay off, simulator at a 115200-baud wire", plainRuns);
    print("\nthe same inside ser2net's TLS (TLS 1.3, server certificate checked)", tlsRuns);
    QList<double> plainWalls, tlsWalls;
    for (int k = 0; k < runs; ++k) {
        plainWalls.append(plainRuns[k].wallSeconds);
        tlsWalls.append(tlsRuns[k].wallSeconds);
    }
    std::sort(plainWalls.begin(), plainWalls.end());
    std::sort(tlsWalls.begin(), tlsWalls.end());
    const double plain = plainWalls[runs / 2];
    const double tls = tlsWalls[runs / 2];
    std::printf("  median wall: %.3f s plain, %.3f s inside TLS: %+.2f %%\n", plain, tls,
                100.0 * (tls / plain - 1.0));
    return allVerified(plainRuns) && allVerified(tlsRuns);
}

} // namespace

int main(int argc, char** argv)
{
    // Qt's own poll loop instead of GLib's, to compare what the event dispatcher costs.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unix-dispatcher") == 0)
            qputenv("QT_NO_GLIB", "1");
    }
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype runsAt = args.indexOf(QStringLiteral("--runs"));
    const int runs = runsAt > 0 && runsAt + 1 < args.size() ? std::max(1, args[runsAt + 1].toInt())
                                                            : kDefaultRuns;

    sim::IndicatorSimulator simulator;
    QString error;
    if (!simulator.startPty(&error) || !simulator.startTcp(0, &error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 2;
    }
    quint32 seed = 1;
    // The rows inside TLS alone.
    if (args.contains(QStringLiteral("--tls-only"))) {
        const bool tlsOk = runInsideTls(simulator, seed, runs);
        std::printf("\n%s\n", tlsOk ? "Every download verified." : "SOME DOWNLOAD FAILED.");
        return tlsOk ? 0 : 1;
    }

    const auto portChannel = channelTo(simulator.ptyPath(), 115200);
    LineChannel& port = *portChannel;
    if (!openWithin(port, kConnectLimit)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(simulator.ptyPath()));
        return 2;
    }
    const auto tcpChannel = channelTo(QStringLiteral("tcp:127.0.0.1:%1").arg(simulator.tcpPort()));
    LineChannel& tcp = *tcpChannel;
    if (!openWithin(tcp, kConnectLimit)) {
        std::fprintf(stderr, "cannot connect to 127.0.0.1:%u\n", simulator.tcpPort());
        return 2;
    }

    std::printf(
        "Full download: %d bytes in 7 slots, %lld commands; %d runs each; event "
        "dispatcher %s\n\n",
        IndicatorProtocol::kDataAreaSize,
        static_cast<long long>(makeDownloadPlan(BenchContents::make(0)).allCommands().size()), runs,
        QAbstractEventDispatcher::instance()->metaObject()->className());
    bool ok = true;

    // Each download on the pseudo-terminal is followed by the reference client on the same
    // commands, so that both meet the same load from the rest of the machine.
    const auto withReference = [&](Measurement m, const Contents& contents) {
        port.close();
        const Reference ref =
            runReference(simulator.ptyPath(), simulator, makeDownloadPlan(contents).allCommands());
        m.referenceSeconds = ref.ok ? ref.wallSeconds : 0;
        if (!ref.ok)
            std::printf("  reference client failed on %s\n", qPrintable(simulator.ptyPath()));
        port.open();
        if (!port.isUsable())
            m.verified = false;
        return m;
    };

    QList<Measurement> ptyRuns, tcpRuns;
    for (int k = 0; k < runs; ++k) {
        const Contents contents = BenchContents::make(seed++);
        ptyRuns.append(withReference(runDownload(port, simulator, contents), contents));
    }
    print("Pseudo-terminal (SerialChannel), instantly answering simulator", ptyRuns);
    ok = ok && allVerified(ptyRuns);

    for (int k = 0; k < runs; ++k)
        tcpRuns.append(runDownload(tcp, simulator, BenchContents::make(seed++)));
    print("\nTCP on 127.0.0.1 (TcpChannel), instantly answering simulator", tcpRuns);
    ok = ok && allVerified(tcpRuns);

    // At wire speed, an indicator that ends its answers with CR and one that ends them with CR LF.
    for (const bool crlf : {false, true}) {
        sim::Faults wireFaults;
        wireFaults.baud = kWireBaud;
        wireFaults.crlf = crlf;
        simulator.setFaults(wireFaults);
        const Contents wireContents = BenchContents::make(seed++);
        QList<Measurement> wireRuns{
            withReference(runDownload(port, simulator, wireContents), wireContents)};
        print(crlf ? "\nPseudo-terminal, 115200-baud wire, answers ended by CR LF"
                   : "\nPseudo-terminal, simulator emulating a 115200-baud wire",
              wireRuns);
        const Measurement& wire = wireRuns.first();
        const double limit = double(wire.wireBytes) * kBitsPerByte / kWireBaud;
        std::printf("  wire-time limit %.3f s (%llu bytes x %d / %d)\n", limit,
                    static_cast<unsigned long long>(wire.wireBytes), kBitsPerByte, kWireBaud);
        std::printf("  wall / limit = %.4f (reference client %.4f)\n", wire.wallSeconds / limit,
                    wire.referenceSeconds / limit);
        // The probes' share: their bytes on the wire, and the wall against the reference
        // client, which sends the same writes without them.
        const quint64 probeBytes =
            quint64(wire.probes) * quint64(IndicatorProtocol::kVersionCommand.size() +
                                           sim::Faults().version.size() + 2 + (crlf ? 1 : 0));
        std::printf("  in-step probes: %d, %llu bytes = %.2f %% of the bytes on the wire, %.3f s = "
                    "%.2f %% of the wall; the whole download %.2f %% above the reference client, "
                    "which sends the writes without them\n",
                    wire.probes, static_cast<unsigned long long>(probeBytes),
                    100.0 * double(probeBytes) / double(wire.wireBytes), wire.probeSeconds,
                    100.0 * wire.probeSeconds / wire.wallSeconds,
                    100.0 * (wire.wallSeconds / wire.referenceSeconds - 1.0));
        ok = ok && allVerified(wireRuns);
    }

    // ser2net opens the pseudo-terminal itself.
    port.close();
    ok = runThroughSer2Net(simulator, seed, runs) && ok;
    ok = runInsideTls(simulator, seed, runs) && ok;

    std::printf("\n%s\n", ok ? "Every download verified: the simulator's slots equal the contents."
                             : "SOME DOWNLOAD FAILED.");
    return ok ? 0 : 1;
}
