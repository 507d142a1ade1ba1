#include "workspace/DownloadHistoryDialog.h"

#include "platform/TextRoutines.h"
#include "ui/AppIcon.h"
#include "ui/Fonts.h"
#include "ui/QtUiServices.h"
#include "ui_DownloadHistoryDialog.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QPointer>
#include <QSaveFile>
#include <QShowEvent>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <utility>

// The record's member of that name, not Qt's keyword.
#undef slots

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kExportTitle = QStringLiteral("Export CSV");
constexpr int kChannelColumn = 3;
constexpr int kFileColumn = 1;

QTableWidgetItem* cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    return item;
}

} // namespace

DownloadHistoryDialog::DownloadHistoryDialog(const QString& recordPath, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::DownloadHistoryDialog>())
    , m_ownUiServices(std::make_unique<QtUiServices>(this))
    , m_uiServices(m_ownUiServices.get())
    , m_recordPath(recordPath)
    , m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(AppIcon::icon());
    setFont(Fonts::sans());
    for (QTableWidget* table : {m_ui->recordsTable, m_ui->slotsTable}) {
        table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        table->horizontalHeader()->setHighlightSections(false);
        table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    }
    // Every column as wide as its texts, but the widest texts take what room is left: the
    // channel above, the file below.
    for (QTableWidget* table : {m_ui->recordsTable, m_ui->slotsTable})
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_ui->recordsTable->horizontalHeader()->setSectionResizeMode(kChannelColumn,
                                                                 QHeaderView::Stretch);
    m_ui->slotsTable->horizontalHeader()->setSectionResizeMode(kFileColumn, QHeaderView::Stretch);
    m_ui->viewSplitter->setStretchFactor(0, 3);
    m_ui->viewSplitter->setStretchFactor(1, 2);

    connect(m_ui->serialFilterEdit, &QLineEdit::textChanged, this,
            &DownloadHistoryDialog::showRecords);
    connect(m_ui->recordsTable, &QTableWidget::itemSelectionChanged, this,
            &DownloadHistoryDialog::showSlots);
    connect(m_ui->exportButton, &QPushButton::clicked, this,
            &DownloadHistoryDialog::onExportClicked);
    connect(m_ui->openFolderButton, &QPushButton::clicked, this,
            &DownloadHistoryDialog::onOpenFolderClicked);
}

DownloadHistoryDialog::~DownloadHistoryDialog() = default;

void DownloadHistoryDialog::showEvent(QShowEvent* event)
{
    // A window restored from the task bar keeps what it showed; the operator opening it again
    // sees the file as it is now.
    if (!event->spontaneous())
        reload();
    QDialog::showEvent(event);
}

void DownloadHistoryDialog::reload()
{
    const QFileInfo info(m_recordPath);
    DownloadLog::Contents contents;
    QString fileText;
    if (!info.exists()) {
        fileText = QStringLiteral("%1: no download recorded yet").arg(m_recordPath);
    } else {
        QFile probe(m_recordPath);
        if (probe.open(QIODevice::ReadOnly)) {
            probe.close();
            contents = DownloadLog::read(m_recordPath);
            fileText = m_recordPath;
        } else {
            fileText =
                QStringLiteral("%1 could not be read: %2").arg(m_recordPath, probe.errorString());
        }
    }
    m_ui->fileLabel->setText(fileText);
    m_ui->fileLabel->setToolTip(fileText);
    m_ui->damagedLabel->setText(
        contents.damagedLines == 0 ? QString()
        : contents.damagedLines == 1
            ? QStringLiteral("1 damaged line skipped")
            : QStringLiteral("%1 damaged lines skipped").arg(contents.damagedLines));
    m_ui->openFolderButton->setEnabled(info.absoluteDir().exists());

    // Newest first by the time each download began; of two at the same time, the one written
    // later first.
    m_records = contents.records;
    std::reverse(m_records.begin(), m_records.end());
    std::stable_sort(
        m_records.begin(), m_records.end(),
        [](const DownloadRecord& a, const DownloadRecord& b) { return a.time > b.time; });
    showRecords();
}

QString DownloadHistoryDialog::shownText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown +=
                QString::fromLatin1(TextRoutines::describeBytes(QByteArray(1, char(c.unicode()))));
        else
            shown += c;
    }
    return shown;
}

QStringList DownloadHistoryDialog::rowTexts(const DownloadRecord& record) const
{
    QString channel = shownText(record.channel);
    if (record.baud > 0)
        channel += QStringLiteral(", %1 baud").arg(record.baud);
    return {record.time.toString(kTimeFormat), shownText(record.serial),
            shownText(record.version),         channel,
            shownText(record.outcome),         QString::number(record.slots.size())};
}

void DownloadHistoryDialog::showRecords()
{
    const QString filter = m_ui->serialFilterEdit->text().trimmed();
    m_shown.clear();
    for (const DownloadRecord& record : m_records) {
        if (filter.isEmpty() || record.serial.contains(filter, Qt::CaseInsensitive))
            m_shown.append(record);
    }

    QTableWidget* table = m_ui->recordsTable;
    const QSignalBlocker blocker(table);
    table->clearContents();
    table->setRowCount(int(m_shown.size()));
    for (int row = 0; row < m_shown.size(); ++row) {
        const QStringList texts = rowTexts(m_shown.at(row));
        for (int column = 0; column < texts.size(); ++column) {
            const bool number = column == texts.size() - 1;
            table->setItem(row, column,
                           cell(texts.at(column), number ? Qt::AlignRight : Qt::AlignLeft));
        }
        table->item(row, 0)->setToolTip(m_shown.at(row).time.toString(Qt::ISODate));
    }
    if (!m_shown.isEmpty())
        table->selectRow(0);
    m_ui->exportButton->setEnabled(!m_shown.isEmpty());
    showSlots();
}

void DownloadHistoryDialog::showSlots()
{
    QTableWidget* table = m_ui->slotsTable;
    table->clearContents();
    const QModelIndexList selected = m_ui->recordsTable->selectionModel()->selectedRows();
    const int row = selected.isEmpty() ? -1 : selected.first().row();
    if (row < 0 || row >= m_shown.size()) {
        table->setRowCount(0);
        return;
    }
    const QList<DownloadRecord::Slot>& recordSlots = m_shown.at(row).slots;
    table->setRowCount(int(recordSlots.size()));
    for (int r = 0; r < recordSlots.size(); ++r) {
        const DownloadRecord::Slot& s = recordSlots.at(r);
        table->setItem(r, 0, cell(QString::number(s.slot), Qt::AlignRight));
        table->setItem(r, 1, cell(s.file));
        table->item(r, 1)->setToolTip(s.file);
        table->setItem(r, 2, cell(QString::number(s.size), Qt::AlignRight));
        table->setItem(r, 3, cell(s.sha256));
        table->setItem(r, 4, cell(s.stored ? QStringLiteral("yes") : QStringLiteral("no")));
    }
}

bool DownloadHistoryDialog::exportCsv(const QString& path, QString* errorText) const
{
    QStringList headings;
    for (int column = 0; column < m_ui->recordsTable->columnCount(); ++column)
        headings << m_ui->recordsTable->horizontalHeaderItem(column)->text();
    QString text = TextRoutines::csvLine(headings);
    for (const DownloadRecord& record : m_shown)
        text += TextRoutines::csvLine(rowTexts(record));

    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (errorText)
        *errorText =
            QStringLiteral("The file %1 could not be written: %2").arg(path, file.errorString());
    return false;
}

void DownloadHistoryDialog::onExportClicked()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested = QDir(documents.isEmpty() ? QDir::homePath() : documents)
                                  .filePath(QStringLiteral("download-history.csv"));
    QPointer<DownloadHistoryDialog> self(this);
    m_uiServices->chooseSaveFile(QStringLiteral("CSV Files|*.csv"), suggested,
                                 [self](const QString& path) {
                                     if (!self || path.isEmpty())
                                         return;
                                     QString error;
                                     if (!self->exportCsv(path, &error))
                                         self->m_uiServices->critical(kExportTitle, error);
                                 });
}

void DownloadHistoryDialog::onOpenFolderClicked()
{
    const QString folder = QFileInfo(m_recordPath).absolutePath();
    if (!m_openUrl(QUrl::fromLocalFile(folder))) {
        m_uiServices->critical(QStringLiteral("Open Folder"),
                               QStringLiteral("The folder %1 could not be opened.").arg(folder));
    }
}
