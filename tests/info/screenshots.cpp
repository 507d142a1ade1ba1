// Renders each dialog and information window to a PNG, for the documentation, in the language
// the program would choose from the environment (LANG=es_ES.UTF-8 for the Spanish set):
// dialog-screenshots <output folder>
#include "dialogs/BaudDialog.h"
#include "dialogs/PortDialog.h"
#include "dialogs/TcpHostDialog.h"
#include "info/AboutDialog.h"
#include "info/HelpDialog.h"
#include "support/TestFiles.h"
#include "ticket/TicketPreview.h"
#include "ui/Language.h"
#include "workspace/DownloadHistoryDialog.h"
#include "workspace/TicketPreviewDialog.h"

#include <QApplication>
#include <QDir>
#include <QTextStream>
#include <QTimeZone>

static bool save(QDialog* dialog, const QDir& folder, const QString& name)
{
    dialog->show();
    // Layouts settle in posted events: a text set while showing must have its room first.
    QCoreApplication::processEvents();
    const bool saved = dialog->grab().save(folder.filePath(name));
    QTextStream(stdout) << (saved ? "wrote " : "FAILED ") << folder.filePath(name) << '\n';
    delete dialog;
    return saved;
}

// A few downloads to three indicators, and one line torn by a crash.
static bool writeSampleRecords(const QString& path)
{
    // The samples' own sizes and hashes, under the folder an operator would keep them in.
    const auto slot = [](int number, const char* file, bool stored) {
        const QByteArray bytes =
            TestFiles::read(QStringLiteral(TALVOR_EXAMPLES_DIR "/") + QLatin1String(file));
        return DownloadRecord::Slot{number,
                                    QStringLiteral("/home/op/tickets/") + QLatin1String(file),
                                    bytes.size(), TicketPreview::sha256(bytes), stored};
    };
    const auto record = [](int day, int hour, int minute, const char* serial, const char* channel,
                           int baud, const char* outcome, QList<DownloadRecord::Slot> slotList) {
        DownloadRecord r;
        r.time = QDateTime(QDate(2026, 3, day), QTime(hour, minute, 12), QTimeZone(3600));
        r.channel = QLatin1String(channel);
        r.baud = baud;
        r.version = QStringLiteral("V2.05");
        r.serial = QLatin1String(serial);
        r.outcome = QLatin1String(outcome);
        r.tickets = std::move(slotList);
        return r;
    };
    const QList<DownloadRecord::Slot> all = {slot(1, "gross-net-tare.prn", true),
                                             slot(2, "truck-first.prn", true),
                                             slot(3, "truck-complete.txt", true)};
    const QList<DownloadRecord> records = {
        record(2, 9, 14, "20231187", "COM 1 /dev/ttyUSB0", 115200, "stored", all),
        record(2, 11, 40, "20231187", "COM 1 /dev/ttyUSB0", 115200, "cancelled",
               {all.at(0), slot(2, "truck-first.prn", false)}),
        record(3, 8, 2, "20230415", "192.168.1.50:4001", 0, "stored", all),
        record(4, 15, 27, "20240032", "COM 3 /dev/ttyS2", 19200, "refused",
               {all.at(0), slot(3, "truck-complete.txt", false)}),
        record(5, 7, 55, "20231187", "COM 1 /dev/ttyUSB0", 115200, "stored", all),
    };
    QFile::remove(path);
    for (const DownloadRecord& r : records) {
        QString error;
        if (!DownloadLog::append(path, r, &error)) {
            QTextStream(stderr) << error << '\n';
            return false;
        }
    }
    QFile file(path);
    return file.open(QIODevice::Append) && file.write("{\"time\":\"2026-03-05T\n") > 0;
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Language::install();
    if (argc != 2) {
        QTextStream(stderr) << "usage: dialog-screenshots <output folder>\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    // A machine with COM 1 and COM 3 to COM 5, on COM 3 at 19200 baud.
    ChannelSettings state;
    state.channel = ChannelSettings::Choice::com(3);
    for (int k = 1; k <= ComPorts::kCount; ++k) {
        state.devices.at(k - 1) = ComPorts::systemDevice(k);
        state.present.at(k - 1) = k == 1 || (k >= 3 && k <= 5);
    }
    state.rate = 19200;
    state.host = QStringLiteral("192.168.1.100");
    state.port = 1234;

    bool ok = save(new PortDialog(state), folder, QStringLiteral("comm-dialog.png"));
    ok = save(new BaudDialog(state.rate), folder, QStringLiteral("baud-dialog.png")) && ok;
    ok = save(new TcpHostDialog(state), folder, QStringLiteral("tcpip-dialog.png")) && ok;
    ok = save(new AboutDialog, folder, QStringLiteral("about.png")) && ok;
    ok = save(new HelpDialog, folder, QStringLiteral("help.png")) && ok;

    const QString sample = QStringLiteral(TALVOR_EXAMPLES_DIR "/gross-net-tare.prn");
    ok = save(new TicketPreviewDialog(sample, TestFiles::read(sample)), folder,
              QStringLiteral("ticket-preview.png")) &&
         ok;
    // A fixed folder rather than a random one, so that the picture stays the same.
    const QString records =
        QDir::temp().filePath(QStringLiteral("TicketTalvor-screenshots/downloads.jsonl"));
    ok = writeSampleRecords(records) &&
         save(new DownloadHistoryDialog(records), folder, QStringLiteral("download-history.png")) &&
         ok;
    QDir(QFileInfo(records).absolutePath()).removeRecursively();
    return ok ? 0 : 1;
}
