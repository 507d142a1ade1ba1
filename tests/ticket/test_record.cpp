#include "link/CommandExchange.h"
#include "support/ScriptedIndicator.h"
#include "support/TestFiles.h"
#include "ticket/DownloadRecord.h"
#include "ticket/DownloadRecorder.h"
#include "ticket/Downloader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace std::chrono_literals;
using Contents = std::array<QByteArray, SlotTable::kSlotCount>;
using Paths = std::array<QString, SlotTable::kSlotCount>;

namespace {

DownloadRecord sampleRecord()
{
    DownloadRecord record;
    // An offset that is not the machine's, with milliseconds: both must survive the file.
    record.time = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53, 589), QTimeZone(-3 * 3600));
    record.channel = QStringLiteral("COM 1 /dev/ttyUSB0");
    record.baud = 19200;
    record.version = QStringLiteral("V2.05\x06");
    record.serial = QStringLiteral("12345\x06");
    record.outcome = QStringLiteral("refused");
    record.seconds = 12.375;
    record.commands = 8206;
    record.retries = 3;
    record.tickets = {
        {1, QStringLiteral("/srv/tickets/gross net \"tare\".prn"), 5001, QString(64, u'a'), true},
        {3, QStringLiteral("/srv/tickets/Lkw-Wägung.txt"), 3, QString(64, u'0'), false}};
    return record;
}

QByteArray jsonLine(const DownloadRecord& record)
{
    return QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

class TestRecord : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    // The names and kinds other programs read the log by, and the same record back from JSON
    // and from the file.
    void roundTrip()
    {
        const DownloadRecord record = sampleRecord();
        const QJsonObject json = record.toJson();
        QStringList keys = json.keys();
        keys.sort();
        QCOMPARE(keys, QStringList({"baud", "channel", "commands", "outcome", "retries", "seconds",
                                    "serial", "slots", "time", "version"}));
        QCOMPARE(json.value("time").toString(), QStringLiteral("2026-03-14T09:26:53.589-03:00"));
        QCOMPARE(json.value("baud").toInt(), 19200);
        QCOMPARE(json.value("commands").toInt(), 8206);
        QCOMPARE(json.value("seconds").toDouble(), 12.375);
        const QJsonObject slot3 = json.value("slots").toArray().at(1).toObject();
        QStringList slotKeys = slot3.keys();
        slotKeys.sort();
        QCOMPARE(slotKeys, QStringList({"file", "sha256", "size", "slot", "stored"}));
        QCOMPARE(slot3.value("slot").toInt(), 3);
        QCOMPARE(slot3.value("stored").toBool(), false);

        DownloadRecord utc = record;
        utc.time = QDateTime(QDate(2026, 3, 14), QTime(12, 26, 53), QTimeZone::utc());
        QCOMPARE(utc.toJson().value("time").toString(),
                 QStringLiteral("2026-03-14T12:26:53.000+00:00"));

        const auto back = DownloadRecord::fromJson(json);
        QVERIFY(back);
        QCOMPARE(*back, record);
        QCOMPARE(back->time.offsetFromUtc(), -3 * 3600);

        const QString path = m_dir.filePath(QStringLiteral("deep/er/downloads.jsonl"));
        QString error;
        DownloadRecord second = record;
        second.outcome = QStringLiteral("stored");
        second.baud = 0;
        second.channel = QStringLiteral("192.168.1.50:4001");
        second.tickets.clear();
        QVERIFY2(DownloadLog::append(path, record, &error), qPrintable(error));
        QVERIFY2(DownloadLog::append(path, second, &error), qPrintable(error));
        const DownloadLog::Contents contents = DownloadLog::read(path);
        QCOMPARE(contents.damagedLines, 0);
        QCOMPARE(contents.records, QList<DownloadRecord>({record, second}));
        // One line a record, each ended.
        QCOMPARE(TestFiles::read(path), jsonLine(record) + jsonLine(second));
    }

    // What the download did, taken from the downloader by the recorder: only slots holding data,
    // each with the hash of what was sent and whether the indicator now points at it.
    void fromDownload()
    {
        FakeLineChannel channel;
        ScriptedIndicator indicator(channel);
        // Slot 3's only block is refused.
        indicator.answer = [&](const QByteArray& command) {
            return command.startsWith(";E0004-") ? ScriptedIndicator::kNak
                                                 : indicator.behaves(command);
        };
        CommandExchange exchange;
        exchange.setChannel(&channel);
        exchange.setVersionText("V2.05\x06");
        Downloader downloader(exchange);
        DownloadRecorder recorder(downloader, exchange);
        recorder.setPath(QString());
        downloader.setTimeout(20ms);
        const Contents contents{"ABCD", {}, "xyz", {}, {}, {}, {}};
        const Paths paths{"/t/one.prn", "/t/ignored.prn", "/t/three.prn"};
        QSignalSpy finished(&downloader, &Downloader::finished);
        recorder.prepare(contents, paths);
        downloader.start(contents);
        QVERIFY(finished.wait(5000));

        const DownloadRecord& record = recorder.record();
        QCOMPARE(record.outcome, QStringLiteral("refused"));
        QCOMPARE(record.commands, 7 + 2 + 7);
        QCOMPARE(record.retries, 0);
        const QList<DownloadRecord::Slot> expected{
            {1, "/t/one.prn", 4, "e12e115acf4552b2568b55e93cbd39394c4ef81c82447fafc997882a02d23677",
             true},
            {3, "/t/three.prn", 3,
             "3608bca1e44ea6c4d268eb6db02260269892c0b42b86bbf1e77a6fa16c3c9282", false}};
        QCOMPARE(record.tickets, expected);

        QCOMPARE(Outcomes::word(Outcome::Stored), QStringLiteral("stored"));
        QCOMPARE(Outcomes::word(Outcome::Stopped), QStringLiteral("stopped"));
        QCOMPARE(Outcomes::word(Outcome::Cancelled), QStringLiteral("cancelled"));
        QCOMPARE(Outcomes::word(Outcome::Lost), QStringLiteral("lost"));
    }

    // A line that is no record (torn by a crash, edited by hand, of another kind) is counted and
    // skipped; the records around it are kept, and the next append starts a line of its own.
    void damagedLines()
    {
        const DownloadRecord record = sampleRecord();
        QJsonObject noSerial = record.toJson();
        noSerial.remove("serial");
        QJsonObject textBaud = record.toJson();
        textBaud["baud"] = "19200";
        QJsonObject badTime = record.toJson();
        badTime["time"] = "yesterday";
        QJsonObject upperHash = record.toJson();
        QJsonArray entries = upperHash["slots"].toArray();
        QJsonObject slot = entries[0].toObject();
        slot["sha256"] = QString(64, u'A');
        entries[0] = slot;
        upperHash["slots"] = entries;
        QJsonObject slotZero = record.toJson();
        entries = slotZero["slots"].toArray();
        slot = entries[0].toObject();
        slot["slot"] = 0;
        entries[0] = slot;
        slotZero["slots"] = entries;
        QJsonObject fractionalCommands = record.toJson();
        fractionalCommands["commands"] = 1.5;

        QByteArray file = jsonLine(record);
        for (const QJsonObject& damaged :
             {noSerial, textBaud, badTime, upperHash, slotZero, fractionalCommands})
            file += QJsonDocument(damaged).toJson(QJsonDocument::Compact) + '\n';
        file += "[1, 2, 3]\n";
        file += "\n"; // an empty line is no record and no damage either
        file += jsonLine(record);
        file += jsonLine(record).left(40); // torn: no line end
        const QString path = m_dir.filePath(QStringLiteral("damaged.jsonl"));
        QVERIFY(TestFiles::write(path, file));

        DownloadLog::Contents contents = DownloadLog::read(path);
        QCOMPARE(contents.records.size(), 2);
        QCOMPARE(contents.damagedLines, 8);

        QString error;
        QVERIFY2(DownloadLog::append(path, record, &error), qPrintable(error));
        contents = DownloadLog::read(path);
        QCOMPARE(contents.records.size(), 3);
        QCOMPARE(contents.damagedLines, 8);

        QCOMPARE(DownloadLog::read(m_dir.filePath(QStringLiteral("none.jsonl"))).records.size(), 0);
    }

    // Several writers at once (the window and command-line runs): every line whole. The lines
    // are longer than any I/O buffer, so a line written in pieces would interleave.
    void concurrentAppends()
    {
        constexpr int kWriters = 4;
        constexpr int kEach = 60;
        DownloadRecord record = sampleRecord();
        record.tickets[0].file = QString(40000, u'x');
        const QString path = m_dir.filePath(QStringLiteral("concurrent.jsonl"));
        std::vector<std::thread> writers;
        std::atomic<int> failures = 0;
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back([&, w] {
                DownloadRecord mine = record;
                mine.commands = w;
                for (int i = 0; i < kEach; ++i) {
                    mine.retries = i;
                    if (!DownloadLog::append(path, mine, nullptr))
                        ++failures;
                }
            });
        }
        for (std::thread& t : writers)
            t.join();
        QCOMPARE(failures.load(), 0);
        const DownloadLog::Contents contents = DownloadLog::read(path);
        QCOMPARE(contents.damagedLines, 0);
        QCOMPARE(contents.records.size(), kWriters * kEach);
    }

    void appendFailures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("readOnlyFolder");
        const QString file = m_dir.filePath(QStringLiteral("plain-file"));
        QVERIFY(TestFiles::write(file, "x"));
        QTest::newRow("read-only folder")
            << m_dir.filePath(QStringLiteral("read-only/downloads.jsonl")) << true;
        QTest::newRow("folder is a file") << file + QStringLiteral("/downloads.jsonl") << false;
#ifdef Q_OS_LINUX
        // Not even root may create a file there.
        QTest::newRow("folder no one may write")
            << QStringLiteral("/proc/downloads.jsonl") << false;
#endif
    }
    void appendFailures()
    {
        QFETCH(QString, path);
        QFETCH(bool, readOnlyFolder);
        if (readOnlyFolder) {
#ifdef Q_OS_UNIX
            if (geteuid() == 0)
                QSKIP("root writes into read-only folders");
#endif
            const QString folder = QFileInfo(path).absolutePath();
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        QString error;
        QVERIFY(!DownloadLog::append(path, sampleRecord(), &error));
        QVERIFY2(error.startsWith(
                     QStringLiteral("The download record %1 could not be written: ").arg(path)),
                 qPrintable(error));
        QVERIFY2(error.size() > 50 + path.size(), qPrintable(error)); // and says why
        QVERIFY(!QFile::exists(path));
        QVERIFY(!DownloadLog::append(path, sampleRecord(), nullptr));
    }
};

QTEST_GUILESS_MAIN(TestRecord)
#include "test_record.moc"
