// The download-history window (offscreen) on a large record: one of 100,000 downloads and one of
// 50 MB. Prints how long reading the file takes by itself, how long the window takes to show the
// rows and the longest the event loop stood still meanwhile, and how long each key typed into
// the serial-number filter takes until the table has painted (median and worst), and how much
// memory the open window holds.
//
//   QT_QPA_PLATFORM=offscreen build/default/bench/bench_history [--lines N] [--megabytes M]

#include "ticket/DownloadRecord.h"
#include "workspace/DownloadHistoryDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <tuple>
#include <vector>

namespace {

constexpr int kDefaultLines = 100'000;
constexpr int kDefaultMegabytes = 50;
constexpr int kIndicators = 1000; // serial numbers 20230000 to 20230999
constexpr int kMaxSlotsPerDownload = 4;
constexpr auto kTick = std::chrono::milliseconds(5);
constexpr auto kWaitLimit = std::chrono::seconds(300);
// A serial number typed key by key and taken back: from every row shown to one in a thousand.
constexpr char kTyped[] = "20230417";

// Resident memory now, from /proc/self/statm.
double residentMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1 << 20)
                             : 0;
}

// Downloads every 20 minutes from 2020 on, to a thousand indicators, by serial port or TCP/IP,
// with one to four tickets each; until either limit is reached.
QByteArray makeRecord(qint64 maxLines, qint64 maxBytes)
{
    QByteArray text;
    quint32 state = 12345;
    const auto next = [&state](quint32 bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    const QDateTime start(QDate(2020, 1, 1), QTime(6, 0), QTimeZone(3600));
    for (qint64 line = 0; line < maxLines && text.size() < maxBytes; ++line) {
        DownloadRecord r;
        // Summer and winter offsets, as a record kept in Central Europe holds.
        const QDateTime utc = start.addSecs(line * 20 * 60);
        const int month = utc.date().month();
        r.time = utc.toOffsetFromUtc(month >= 4 && month <= 10 ? 7200 : 3600);
        const bool tcp = next(3) == 0;
        r.channel = tcp ? QStringLiteral("192.168.1.%1:4001").arg(next(250) + 1)
                        : QStringLiteral("COM %1 /dev/ttyUSB0").arg(next(8) + 1);
        r.baud = tcp ? 0 : 115200;
        r.version = QStringLiteral("V2.0%1").arg(next(6));
        r.serial = QStringLiteral("2023%1").arg(next(kIndicators), 4, 10, QLatin1Char('0'));
        r.outcome = next(20) == 0 ? QStringLiteral("refused") : QStringLiteral("stored");
        r.seconds = 14.2;
        r.commands = 8214;
        const int slotCount = int(next(kMaxSlotsPerDownload)) + 1;
        for (int s = 1; s <= slotCount; ++s) {
            const QByteArray name = "ticket-" + QByteArray::number(next(50)) + ".prn";
            r.tickets.append(
                {s, QStringLiteral("/home/op/tickets/") + QString::fromLatin1(name),
                 qint64(next(16000) + 1),
                 QString::fromLatin1(
                     QCryptographicHash::hash(name, QCryptographicHash::Sha256).toHex()),
                 true});
        }
        text += QJsonDocument(r.toJson()).toJson(QJsonDocument::Compact);
        text += '\n';
    }
    return text;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Opens the window on the file, types the serial number and takes it back; false on a fault.
bool measure(const QString& label, const QString& path)
{
    QElapsedTimer parse;
    parse.start();
    // Let go before the window reads the file again, so the peak memory is the window's.
    const qint64 lines = DownloadLog::read(path).records.size();
    const double parseMs = parse.nsecsElapsed() / 1e6;
    std::printf("%s: %lld downloads, %.1f MB\n", qPrintable(label), static_cast<long long>(lines),
                QFile(path).size() / 1e6);
    std::printf("  reading and parsing alone (DownloadLog::read): %.0f ms\n", parseMs);

    // What earlier runs freed goes back to the system, so the growth is this window's.
    malloc_trim(0);
    const double residentBefore = residentMiB();
    auto* dialog = new DownloadHistoryDialog(path);
    auto* table = dialog->findChild<QAbstractItemView*>(QStringLiteral("recordsTable"));
    auto* filter = dialog->findChild<QLineEdit*>(QStringLiteral("serialFilterEdit"));
    if (!table || !filter)
        return false;

    // The longest gap between two ticks of a 5 ms timer: how long the window did not answer.
    QElapsedTimer sinceTick;
    double longestStallMs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStallMs = std::max(longestStallMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    ticker.start(kTick);
    sinceTick.start();

    QElapsedTimer open;
    open.start();
    dialog->show();
    const double showMs = open.nsecsElapsed() / 1e6;
    QAbstractItemModel* model = table->model();
    if (model->rowCount() < lines) {
        QEventLoop loop;
        QObject::connect(model, &QAbstractItemModel::modelReset, &loop, [&] {
            if (model->rowCount() == lines)
                loop.quit();
        });
        QTimer::singleShot(kWaitLimit, &loop, [&loop] { loop.exit(1); });
        if (loop.exec() != 0) {
            std::fprintf(stderr, "the rows did not come\n");
            return false;
        }
    }
    // The rows shown and painted.
    QCoreApplication::processEvents();
    const double openMs = open.nsecsElapsed() / 1e6;
    ticker.stop();
    longestStallMs = std::max(longestStallMs, sinceTick.nsecsElapsed() / 1e6);
    std::printf("  window: show() returned after %.0f ms, rows shown after %.0f ms, event loop "
                "still for at most %.0f ms, %.0f MiB more resident memory\n",
                showMs, openMs, longestStallMs, residentMiB() - residentBefore);

    // Each key as the line edit gets it, until the table has painted the rows it lets through.
    std::vector<double> keyMs;
    std::vector<int> shown;
    const auto press = [&](Qt::Key key, const QString& text) {
        QElapsedTimer timer;
        timer.start();
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(filter, &event);
        QCoreApplication::processEvents();
        keyMs.push_back(timer.nsecsElapsed() / 1e6);
        shown.push_back(model->rowCount());
    };
    for (const char* c = kTyped; *c; ++c)
        press(Qt::Key(Qt::Key_0 + (*c - '0')), QString(QLatin1Char(*c)));
    for (const char* c = kTyped; *c; ++c)
        press(Qt::Key_Backspace, QString());
    if (filter->text() != QString() || shown.back() != lines) {
        std::fprintf(stderr, "the filter did not end empty with every row shown\n");
        return false;
    }
    std::printf("  filter, %zu keys (typing %s, then taking it back): median %.1f ms, worst "
                "%.1f ms\n",
                keyMs.size(), kTyped, median(keyMs), *std::max_element(keyMs.begin(), keyMs.end()));
    std::printf("   ");
    for (size_t i = 0; i < keyMs.size(); ++i)
        std::printf(" %.1f(%d)", keyMs[i], shown[i]);
    std::printf("  [ms(rows)]\n");
    delete dialog;
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    qint64 lineCount = kDefaultLines;
    qint64 megabytes = kDefaultMegabytes;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--lines"))
            lineCount = args.at(i + 1).toLongLong();
        else if (args.at(i) == QLatin1String("--megabytes"))
            megabytes = args.at(i + 1).toLongLong();
    }
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const auto write = [&dir](const QString& name, const QByteArray& text) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName()
                                                                                  : QString();
    };
    std::printf("Download history window (offscreen)\n");
    // Either record is left out when its size is given as 0.
    constexpr qint64 kNoLimit = std::numeric_limits<qint64>::max();
    const QList<std::tuple<QString, qint64, qint64>> records{
        {QStringLiteral("record of %1 lines").arg(lineCount), lineCount, kNoLimit},
        {QStringLiteral("record of %1 MB").arg(megabytes), kNoLimit, megabytes << 20}};
    for (const auto& [label, maxLines, maxBytes] : records) {
        if (maxLines == 0 || maxBytes == 0)
            continue;
        const QString path =
            write(QStringLiteral("downloads.jsonl"), makeRecord(maxLines, maxBytes));
        if (path.isEmpty() || !measure(label, path))
            return 1;
    }
    return 0;
}
