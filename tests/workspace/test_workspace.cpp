#include "workspace/DownloadHistoryDialog.h"
#include "workspace/TicketPreviewDialog.h"

#include "support/FakeUiServices.h"
#include "support/Sha256.h"
#include "support/TestFiles.h"

#include <QDialogButtonBox>
#include <QFontInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimeZone>
#include <QUrl>

namespace {

DownloadRecord record(const QDateTime& time, const QString& serial, const QString& channel,
                      int baud, const QString& outcome, const QList<int>& slotNumbers)
{
    DownloadRecord r;
    r.time = time;
    r.channel = channel;
    r.baud = baud;
    r.version = QStringLiteral("V2.05");
    r.serial = serial;
    r.outcome = outcome;
    r.seconds = 3.5;
    r.commands = 120;
    for (int s : slotNumbers) {
        r.tickets.append({s, QStringLiteral("/srv/tickets/slot%1.prn").arg(s), 100 + s,
                          QString(64, QLatin1Char(char('0' + s))), s != 3});
    }
    return r;
}

QDateTime at(int day, int hour)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, 5, 9), QTimeZone(3600));
}

// A record line as a build of the program may have written it, with the time text as given.
QByteArray recordLine(const QString& time, const QString& serial,
                      const QString& version = QStringLiteral("V2.05"))
{
    DownloadRecord r = record(at(1, 1), serial, QStringLiteral("10.0.0.7:4001"), 0,
                              QStringLiteral("stored"), {1, 2});
    r.version = version;
    QJsonObject json = r.toJson();
    json.insert(QStringLiteral("time"), time);
    return QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n';
}

QStringList rowTexts(const QTableView* table, int row)
{
    QStringList texts;
    for (int column = 0; column < table->model()->columnCount(); ++column)
        texts << table->model()->index(row, column).data().toString();
    return texts;
}

QStringList columnTexts(const QTableView* table, int column)
{
    QStringList texts;
    for (int row = 0; row < table->model()->rowCount(); ++row)
        texts << table->model()->index(row, column).data().toString();
    return texts;
}

} // namespace

class TestWorkspace : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    template <typename T> static T* child(QWidget* window, const char* name)
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no %s in %s", name, qPrintable(window->objectName()));
        return found;
    }

private Q_SLOTS:
    void ticketPreview()
    {
        const QByteArray bytes("\x1B"
                               "E TALVOR\r\nGROSS <GROSS> kg\x06\r\n\xB0"
                               "C");
        const QString path = m_dir.filePath(QStringLiteral("control bytes.prn"));
        QVERIFY(TestFiles::write(path, bytes));

        QPointer<TicketPreviewDialog> dialog(new TicketPreviewDialog(path, TestFiles::read(path)));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Ticket Preview - control bytes.prn"));
        QVERIFY(!dialog->isModal());
        QVERIFY(dialog->minimumSize() != dialog->maximumSize());
        QVERIFY(!dialog->windowIcon().isNull());

        auto* tabs = child<QTabWidget>(dialog, "viewTabs");
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Text"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Hex"));
        auto* text = child<QPlainTextEdit>(dialog, "textView");
        auto* hex = child<QPlainTextEdit>(dialog, "hexView");
        QCOMPARE(text->toPlainText(),
                 QStringLiteral("<0x1B>E TALVOR<CR><LF>\nGROSS <GROSS> kg<ACK><CR><LF>\n<0xB0>C"));
        QCOMPARE(
            hex->toPlainText(),
            QStringLiteral(
                "00000000  1B 45 20 54 41 4C 56 4F  52 0D 0A 47 52 4F 53 53  |.E TALVOR..GROSS|\n"
                "00000010  20 3C 47 52 4F 53 53 3E  20 6B 67 06 0D 0A B0 43  | <GROSS> "
                "kg....C|\n"));
        for (QPlainTextEdit* view : {text, hex}) {
            QVERIFY(view->isReadOnly());
            QVERIFY(QFontInfo(view->font()).fixedPitch());
        }
        QCOMPARE(child<QLabel>(dialog, "summaryLabel")->text(),
                 QStringLiteral("32 bytes, SHA-256 ") + sha256Hex(bytes));

        child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Close)->click();
        QVERIFY(!dialog->isVisible());
        QTRY_VERIFY(dialog.isNull()); // discarded once closed
    }

    void downloadHistory()
    {
        const QString path = m_dir.filePath(QStringLiteral("records/downloads.jsonl"));
        QString error;
        const DownloadRecord middle =
            record(at(2, 8), QStringLiteral("A1701"), QStringLiteral("COM 1 /dev/ttyUSB0"), 19200,
                   QStringLiteral("stored"), {1, 2});
        const DownloadRecord newest =
            record(at(3, 10), QStringLiteral("B2200"), QStringLiteral("192.168.1.50:4001"), 0,
                   QStringLiteral("refused"), {1, 3, 7});
        DownloadRecord oldest = record(at(1, 16), QStringLiteral("a1702"), QStringLiteral("COM 3"),
                                       115200, QStringLiteral("cancelled"), {});
        oldest.version = QStringLiteral("V2.05\r");
        // Written out of time order, with two damaged lines among them.
        QVERIFY2(DownloadLog::append(path, middle, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write("{\"time\": \"torn\n");
        file.close();
        QVERIFY2(DownloadLog::append(path, newest, &error), qPrintable(error));
        QVERIFY2(DownloadLog::append(path, oldest, &error), qPrintable(error));
        QVERIFY(file.open(QIODevice::Append));
        file.write("{\"time\": 5}\n");
        file.close();

        QPointer<DownloadHistoryDialog> dialog(new DownloadHistoryDialog(path));
        FakeUiServices ui;
        dialog->setUiServices(&ui);
        QList<QUrl> opened;
        dialog->setOpenUrlHook([&opened](const QUrl& url) {
            opened << url;
            return true;
        });
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Download History"));
        QVERIFY(!dialog->isModal());

        auto* records = child<QTableView>(dialog, "recordsTable");
        auto* slotTable = child<QTableWidget>(dialog, "slotsTable");
        auto* filter = child<QLineEdit>(dialog, "serialFilterEdit");
        QCOMPARE(records->model()->rowCount(), 3);
        QCOMPARE(rowTexts(records, 0), QStringList({"2026-03-03 10:05:09 +01:00", "B2200", "V2.05",
                                                    "192.168.1.50:4001", "refused", "3"}));
        QCOMPARE(rowTexts(records, 1),
                 QStringList({"2026-03-02 08:05:09 +01:00", "A1701", "V2.05",
                              "COM 1 /dev/ttyUSB0, 19200 baud", "stored", "2"}));
        QCOMPARE(rowTexts(records, 2),
                 QStringList({"2026-03-01 16:05:09 +01:00", "a1702", "V2.05<CR>",
                              "COM 3, 115200 baud", "cancelled", "0"}));
        QCOMPARE(child<QLabel>(dialog, "damagedLabel")->text(),
                 QStringLiteral("2 damaged lines skipped"));

        // The newest is selected at first; another selection shows its slots.
        QCOMPARE(columnTexts(slotTable, 0), QStringList({"1", "3", "7"}));
        records->selectRow(1);
        QCOMPARE(slotTable->rowCount(), 2);
        QCOMPARE(rowTexts(slotTable, 1),
                 QStringList({"2", "/srv/tickets/slot2.prn", "102", QString(64, u'2'), "yes"}));
        records->selectRow(0);
        QCOMPARE(rowTexts(slotTable, 1),
                 QStringList({"3", "/srv/tickets/slot3.prn", "103", QString(64, u'3'), "no"}));

        // The filter matches part of the serial number, in any case. The columns keep their
        // widths while it narrows the rows.
        const int versionWidth = records->columnWidth(2);
        filter->setText(QStringLiteral("A17"));
        QCOMPARE(columnTexts(records, 1), QStringList({"A1701", "a1702"}));
        QCOMPARE(columnTexts(slotTable, 0), QStringList({"1", "2"}));
        filter->setText(QStringLiteral("2200"));
        QCOMPARE(columnTexts(records, 1), QStringList({"B2200"}));
        QCOMPARE(records->columnWidth(2), versionWidth);
        filter->setText(QStringLiteral("X"));
        QCOMPARE(records->model()->rowCount(), 0);
        QCOMPARE(slotTable->rowCount(), 0);
        QVERIFY(!child<QPushButton>(dialog, "exportButton")->isEnabled());

        // Export writes the rows shown, and nothing when the file dialog is cancelled.
        filter->setText(QStringLiteral("a17"));
        const QString csv = m_dir.filePath(QStringLiteral("history.csv"));
        ui.fileChoices << csv;
        child<QPushButton>(dialog, "exportButton")->click();
        QCOMPARE(
            TestFiles::read(csv),
            QByteArray("Time,Serial number,Version,Channel,Outcome,Slots\r\n"
                       "2026-03-02 08:05:09 +01:00,A1701,V2.05,\"COM 1 /dev/ttyUSB0, 19200 baud\","
                       "stored,2\r\n"
                       "2026-03-01 16:05:09 +01:00,a1702,V2.05<CR>,\"COM 3, 115200 baud\","
                       "cancelled,0\r\n"));
        QCOMPARE(ui.folders.size(), 1);
        QVERIFY(ui.folders.first().endsWith(QStringLiteral("/download-history.csv")));
        QVERIFY(QFile::remove(csv));
        child<QPushButton>(dialog, "exportButton")->click();
        QVERIFY(!QFile::exists(csv));
        QVERIFY(ui.messages.isEmpty());

        const QString nowhere = m_dir.filePath(QStringLiteral("no/such/folder/h.csv"));
        ui.fileChoices << nowhere;
        child<QPushButton>(dialog, "exportButton")->click();
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages.first().title, QStringLiteral("Export CSV"));
        QVERIFY2(ui.messages.first().text.startsWith(
                     QStringLiteral("The file %1 could not be written: ").arg(nowhere)),
                 qPrintable(ui.messages.first().text));

        child<QPushButton>(dialog, "openFolderButton")->click();
        QCOMPARE(opened,
                 QList<QUrl>({QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("records")))}));

        // Each showing reads the file again.
        filter->clear();
        QVERIFY2(DownloadLog::append(path,
                                     record(at(4, 7), QStringLiteral("C3"), QStringLiteral("COM 2"),
                                            9600, QStringLiteral("stored"), {5}),
                                     &error),
                 qPrintable(error));
        dialog->hide();
        dialog->show();
        QCOMPARE(columnTexts(records, 1), QStringList({"C3", "B2200", "A1701", "a1702"}));
        dialog->close();
        QTRY_VERIFY(dialog.isNull());
    }

    // The table shows each download's local time with its offset and orders by the instant;
    // the CSV holds the same texts, none of which a spreadsheet would run as a formula.
    void downloadHistoryCells_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QStringList>("shown"); // time and serial number, top row first
        QTest::addColumn<QByteArray>("csv");    // below the heading line
        QTest::newRow("the night the clocks go back")
            << recordLine("2026-10-25T02:10:00.000+02:00", "first") +
                   recordLine("2026-10-25T02:10:00.000+01:00", "third") +
                   recordLine("2026-10-25T02:40:00.000+02:00", "second")
            << QStringList{"2026-10-25 02:10:00 +01:00 third", "2026-10-25 02:40:00 +02:00 second",
                           "2026-10-25 02:10:00 +02:00 first"}
            << QByteArray("2026-10-25 02:10:00 +01:00,third,V2.05,10.0.0.7:4001,stored,2\r\n"
                          "2026-10-25 02:40:00 +02:00,second,V2.05,10.0.0.7:4001,stored,2\r\n"
                          "2026-10-25 02:10:00 +02:00,first,V2.05,10.0.0.7:4001,stored,2\r\n");
        QTest::newRow("older lines: Z, no milliseconds, half hours")
            << recordLine("2026-03-01T08:00:00.000Z", "utc") +
                   recordLine("2026-03-01T04:29:00-03:30", "newfoundland")
            << QStringList{"2026-03-01 08:00:00 +00:00 utc",
                           "2026-03-01 04:29:00 -03:30 newfoundland"}
            << QByteArray("2026-03-01 08:00:00 +00:00,utc,V2.05,10.0.0.7:4001,stored,2\r\n"
                          "2026-03-01 04:29:00 -03:30,newfoundland,V2.05,10.0.0.7:4001,stored,"
                          "2\r\n");
        QTest::newRow("formulas from the indicator")
            << recordLine("2026-03-01T08:00:04.000+01:00", "=HYPERLINK(\"http://x\")", "=1+1") +
                   recordLine("2026-03-01T08:00:03.000+01:00", "+41", "@SUM(A1)") +
                   recordLine("2026-03-01T08:00:02.000+01:00", "-7", "-V2")
            << QStringList{"2026-03-01 08:00:04 +01:00 =HYPERLINK(\"http://x\")",
                           "2026-03-01 08:00:03 +01:00 +41", "2026-03-01 08:00:02 +01:00 -7"}
            << QByteArray("2026-03-01 08:00:04 +01:00,\"'=HYPERLINK(\"\"http://x\"\")\",'=1+1,"
                          "10.0.0.7:4001,stored,2\r\n"
                          "2026-03-01 08:00:03 +01:00,'+41,'@SUM(A1),10.0.0.7:4001,stored,2\r\n"
                          "2026-03-01 08:00:02 +01:00,'-7,'-V2,10.0.0.7:4001,stored,2\r\n");
        // DEL and the C1 controls are control characters too: named, like ESC, in the table and
        // in the CSV.
        QTest::newRow("DEL, ESC and CSI from the indicator")
            << recordLine("2026-03-01T08:00:00.000+01:00", "A\x7fZ\xc2\x9b", "V2.05\x1b")
            << QStringList{"2026-03-01 08:00:00 +01:00 A<0x7F>Z<0x9B>"}
            << QByteArray("2026-03-01 08:00:00 +01:00,A<0x7F>Z<0x9B>,V2.05<0x1B>,10.0.0.7:4001,"
                          "stored,2\r\n");
    }
    void downloadHistoryCells()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QStringList, shown);
        const QString path = m_dir.filePath(QStringLiteral("cells/downloads.jsonl"));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(TestFiles::write(path, lines));

        QPointer<DownloadHistoryDialog> dialog(new DownloadHistoryDialog(path));
        dialog->show();
        const auto* records = child<QTableView>(dialog, "recordsTable");
        QStringList texts;
        for (int row = 0; row < records->model()->rowCount(); ++row)
            texts << rowTexts(records, row).mid(0, 2).join(u' ');
        QCOMPARE(texts, shown);

        const QString csvPath = m_dir.filePath(QStringLiteral("cells/history.csv"));
        QString error;
        QVERIFY2(dialog->exportCsv(csvPath, &error), qPrintable(error));
        QFETCH(QByteArray, csv);
        QCOMPARE(TestFiles::read(csvPath),
                 "Time,Serial number,Version,Channel,Outcome,Slots\r\n" + csv);
        delete dialog;
    }

    // A large record is read on a worker: the window says so, goes on taking the filter, and
    // shows the rows, filtered, once they are read.
    void downloadHistoryReadInBackground()
    {
        const QString path = m_dir.filePath(QStringLiteral("large/downloads.jsonl"));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QByteArray lines;
        int count = 0;
        for (; lines.size() < DownloadHistoryDialog::kReadInBackgroundFrom; ++count) {
            lines += recordLine(QStringLiteral("2026-03-01T08:00:00.000+01:00"),
                                (count % 2 ? QStringLiteral("B") : QStringLiteral("A")) +
                                    QString::number(count));
        }
        QVERIFY(TestFiles::write(path, lines));

        QPointer<DownloadHistoryDialog> dialog(new DownloadHistoryDialog(path));
        dialog->show();
        const auto* records = child<QTableView>(dialog, "recordsTable");
        auto* fileLabel = child<QLabel>(dialog, "fileLabel");
        QCOMPARE(fileLabel->text(), QStringLiteral("Reading %1 ...").arg(path));
        QCOMPARE(records->model()->rowCount(), 0);
        QVERIFY(!child<QPushButton>(dialog, "exportButton")->isEnabled());
        child<QLineEdit>(dialog, "serialFilterEdit")->setText(QStringLiteral("b"));
        QTRY_COMPARE(records->model()->rowCount(), count / 2);
        QCOMPARE(fileLabel->text(), path);
        // Of downloads at the same time, the one written last comes first.
        QCOMPARE(rowTexts(records, 0).at(1), QStringLiteral("B%1").arg(count - 1 - count % 2));
        QVERIFY(child<QPushButton>(dialog, "exportButton")->isEnabled());

        // Closed while a read is under way: the read ends unseen.
        dialog->hide();
        dialog->show();
        QCOMPARE(fileLabel->text(), QStringLiteral("Reading %1 ...").arg(path));
        dialog->close();
        QTRY_VERIFY(dialog.isNull());
        QThreadPool::globalInstance()->waitForDone();
    }

    void downloadHistoryWithoutFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("none/downloads.jsonl"));
        QPointer<DownloadHistoryDialog> dialog(new DownloadHistoryDialog(path));
        dialog->show();
        QCOMPARE(child<QTableView>(dialog, "recordsTable")->model()->rowCount(), 0);
        QCOMPARE(child<QLabel>(dialog, "fileLabel")->text(),
                 QStringLiteral("%1: no download recorded yet").arg(path));
        QCOMPARE(child<QLabel>(dialog, "damagedLabel")->text(), QString());
        QVERIFY(!child<QPushButton>(dialog, "exportButton")->isEnabled());
        QVERIFY(!child<QPushButton>(dialog, "openFolderButton")->isEnabled());
        delete dialog;
    }
};

QTEST_MAIN(TestWorkspace)
#include "test_workspace.moc"
