// A full 32768-byte download through the main window, as the operator starts it: Open, Connect,
// DownLoad, against the simulator on a pseudo-terminal. Prints the wall and CPU time, so that the
// cost of the window's progress display can be set against the bare downloader's figures.

#include "IndicatorSimulator.h"
#include "app/MainWindow.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr int kRuns = 3;
constexpr int kMemoryBudget = IndicatorProtocol::kDataAreaSize;
constexpr auto kWaitLimit = std::chrono::seconds(120);

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs the event loop until the signal comes or the limit passes; false on the limit.
template <typename Sender, typename Signal> bool waitFor(Sender* sender, Signal signal)
{
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
    limit.start(kWaitLimit);
    return loop.exec() == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    sim::IndicatorSimulator indicator;
    QString error;
    if (!dir.isValid() || !indicator.startPty(&error)) {
        std::fprintf(stderr, "cannot start the simulator: %s\n", qPrintable(error));
        return 1;
    }
    const QString settings = dir.filePath(QStringLiteral("TicketTalvor.ini"));
    QFile file(settings);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("[CommSettings]\nCommPort= 1\nCommbaud= 5\n[PortNames]\nCOM1=" +
               indicator.ptyPath().toLocal8Bit() + "\n");
    file.close();

    MainWindow window(settings);
    // The runs are no downloads worth keeping in the user's record.
    window.recorder().setPath(dir.filePath(QStringLiteral("downloads.jsonl")));
    window.show();
    Ui::MainWindow& form = window.form();
    form.openCloseAction->trigger();
    // Two tickets that fill the memory exactly; the window reads them as the slot buttons do.
    const QByteArray first(kMemoryBudget / 2 + 1, 'a');
    const QByteArray second(kMemoryBudget - first.size(), 'b');
    for (int slot : {1, 2}) {
        QFile ticket(dir.filePath(QStringLiteral("slot%1.prn").arg(slot)));
        if (!ticket.open(QIODevice::WriteOnly))
            return 1;
        ticket.write(slot == 1 ? first : second);
        ticket.close();
        window.ticketSlots().load(slot, ticket.fileName(), &error);
    }
    form.connectButton->click();
    if (!waitFor(&window.exchange(), &CommandExchange::finished) ||
        !waitFor(&window.exchange(), &CommandExchange::finished) ||
        !form.downloadButton->isEnabled()) {
        std::fprintf(stderr, "the query did not succeed\n");
        return 1;
    }

    std::printf("Full download through the main window (offscreen), pseudo-terminal, "
                "instantly answering simulator\n");
    for (int run = 1; run <= kRuns; ++run) {
        indicator.resetRecord();
        const double cpuBefore = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        form.downloadButton->click();
        if (!waitFor(&window.downloader(), &Downloader::finished))
            return 1;
        const double seconds = wall.nsecsElapsed() / 1e9;
        const auto commands = indicator.counters().commands;
        const bool verified = indicator.slot(1) == first && indicator.slot(2) == second;
        std::printf("  run %d: %llu commands, wall %.3f s, %.0f exchanges/s, CPU %.3f s, "
                    "slots %s\n",
                    run, static_cast<unsigned long long>(commands), seconds, commands / seconds,
                    cpuSeconds() - cpuBefore, verified ? "verified" : "DIFFER");
        if (!verified)
            return 1;
    }
    std::printf("  peak memory %ld KiB (ru_maxrss)\n", peakKiB());
    return 0;
}
