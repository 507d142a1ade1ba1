#include "workspace/DownloadHistoryDialog.h"

#include "platform/TextRoutines.h"
#include "ui/AppIcon.h"
#include "ui/Fonts.h"
#include "ui/QtUiServices.h"
#include "ui_DownloadHistoryDialog.h"
#include "workspace/DownloadHistoryModel.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QPointer>
#include <QSaveFile>
#include <QShowEvent>
#include <QStandardPaths>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

constexpr int kFileColumn = 1;
// Columns take the width of their texts in this many rows around the top, once per reading: not
// for every row of a large record, nor again as the filter changes.
constexpr int kRowsMeasuredForWidths = 200;

QTableWidgetItem* cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    return item;
}

// Runs on a worker thread for a large file: nothing here may touch the window.
DownloadLog::Contents readNewestFirst(const QString& path)
{
    DownloadLog::Contents contents = DownloadLog::read(path);
    contents.records = DownloadHistoryModel::newestFirst(std::move(contents.records));
    return contents;
}

} // namespace

DownloadHistoryDialog::DownloadHistoryDialog(const QString& recordPath, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::DownloadHistoryDialog>())
    , m_ownUiServices(std::make_unique<QtUiServices>(this))
    , m_uiServices(m_ownUiServices.get())
    , m_recordPath(recordPath)
    , m_model(new DownloadHistoryModel(this))
    , m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    m_ui->setupUi(this);
    // Before the window's font: the headings then keep the system's header font, as those of the
    // tickets' table do.
    m_ui->recordsTable->setModel(m_model);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(AppIcon::icon());
    setFont(Fonts::sans());
    for (QTableView* table :
         std::initializer_list<QTableView*>{m_ui->recordsTable, m_ui->slotsTable}) {
        table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        table->horizontalHeader()->setHighlightSections(false);
        table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    }
    // Every column as wide as its texts, but the widest texts take what room is left: the
    // channel above, the file below. The downloads' columns are measured when a file has been
    // read (showContents); the few tickets' whenever they change.
    QHeaderView* recordsHeader = m_ui->recordsTable->horizontalHeader();
    recordsHeader->setResizeContentsPrecision(kRowsMeasuredForWidths);
    recordsHeader->setSectionResizeMode(DownloadHistoryModel::ChannelColumn, QHeaderView::Stretch);
    m_ui->slotsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_ui->slotsTable->horizontalHeader()->setSectionResizeMode(kFileColumn, QHeaderView::Stretch);
    m_ui->viewSplitter->setStretchFactor(0, 3);
    m_ui->viewSplitter->setStretchFactor(1, 2);

    connect(m_ui->serialFilterEdit, &QLineEdit::textChanged, this,
            &DownloadHistoryDialog::showRecords);
    connect(m_ui->recordsTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
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
    // A read still under way would show the file as it was.
    m_reading.reset();
    const QFileInfo info(m_recordPath);
    m_ui->openFolderButton->setEnabled(info.absoluteDir().exists());
    QString fileText = m_recordPath;
    bool readable = false;
    if (!info.exists()) {
        fileText = tr("%1: no download recorded yet").arg(m_recordPath);
    } else if (QFile probe(m_recordPath); !probe.open(QIODevice::ReadOnly)) {
        fileText = tr("%1 could not be read: %2").arg(m_recordPath, probe.errorString());
    } else {
        readable = true;
    }
    const bool inBackground = readable && info.size() >= kReadInBackgroundFrom;
    if (inBackground)
        fileText = tr("Reading %1 ...").arg(m_recordPath);
    m_ui->fileLabel->setText(fileText);
    m_ui->fileLabel->setToolTip(fileText);
    if (!inBackground) {
        showContents(readable ? readNewestFirst(m_recordPath) : DownloadLog::Contents{});
        return;
    }

    showContents({});
    m_reading = std::make_unique<QFutureWatcher<DownloadLog::Contents>>();
    QFutureWatcher<DownloadLog::Contents>* reading = m_reading.get();
    connect(reading, &QFutureWatcherBase::finished, this, [this, reading] {
        m_ui->fileLabel->setText(m_recordPath);
        m_ui->fileLabel->setToolTip(m_recordPath);
        showContents(reading->future().takeResult());
    });
    reading->setFuture(QtConcurrent::run(readNewestFirst, m_recordPath));
}

void DownloadHistoryDialog::showContents(DownloadLog::Contents contents)
{
    m_ui->damagedLabel->setText(contents.damagedLines == 0 ? QString()
                                : contents.damagedLines == 1
                                    ? tr("1 damaged line skipped")
                                    : tr("%1 damaged lines skipped").arg(contents.damagedLines));
    m_model->setRecords(std::move(contents.records));
    for (int column = 0; column < DownloadHistoryModel::ColumnCount; ++column) {
        if (column != DownloadHistoryModel::ChannelColumn)
            m_ui->recordsTable->resizeColumnToContents(column);
    }
    showRecords();
}

void DownloadHistoryDialog::showRecords()
{
    m_model->setSerialFilter(m_ui->serialFilterEdit->text().trimmed());
    const bool any = m_model->rowCount() > 0;
    if (any)
        m_ui->recordsTable->selectRow(0);
    m_ui->exportButton->setEnabled(any);
    showSlots();
}

void DownloadHistoryDialog::showSlots()
{
    QTableWidget* table = m_ui->slotsTable;
    table->clearContents();
    const QModelIndexList selected = m_ui->recordsTable->selectionModel()->selectedRows();
    const int row = selected.isEmpty() ? -1 : selected.first().row();
    if (row < 0 || row >= m_model->rowCount()) {
        table->setRowCount(0);
        return;
    }
    const QList<DownloadRecord::Slot>& recordSlots = m_model->record(row).tickets;
    table->setRowCount(int(recordSlots.size()));
    for (int r = 0; r < recordSlots.size(); ++r) {
        const DownloadRecord::Slot& s = recordSlots.at(r);
        table->setItem(r, 0, cell(QString::number(s.slot), Qt::AlignRight));
        table->setItem(r, 1, cell(s.file));
        table->item(r, 1)->setToolTip(s.file);
        table->setItem(r, 2, cell(QString::number(s.size), Qt::AlignRight));
        table->setItem(r, 3, cell(s.sha256));
        table->setItem(r, 4, cell(s.stored ? tr("yes") : tr("no")));
    }
}

bool DownloadHistoryDialog::exportCsv(const QString& path, QString* errorText) const
{
    QStringList cells;
    for (int column = 0; column < DownloadHistoryModel::ColumnCount; ++column)
        cells << m_model->headerData(column, Qt::Horizontal).toString();
    QString text = TextRoutines::csvLine(cells);
    for (int row = 0; row < m_model->rowCount(); ++row) {
        cells.clear();
        // The texts came from the indicator or any peer on the network: none may become a
        // formula.
        for (int column = 0; column < DownloadHistoryModel::ColumnCount; ++column)
            cells << TextRoutines::csvText(m_model->text(row, column));
        text += TextRoutines::csvLine(cells);
    }

    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (errorText)
        *errorText = tr("The file %1 could not be written: %2").arg(path, file.errorString());
    return false;
}

void DownloadHistoryDialog::onExportClicked()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested = QDir(documents.isEmpty() ? QDir::homePath() : documents)
                                  .filePath(QStringLiteral("download-history.csv"));
    QPointer<DownloadHistoryDialog> self(this);
    // The description is translated, the pattern is not.
    m_uiServices->chooseSaveFile(tr("CSV Files") + QStringLiteral("|*.csv"), suggested,
                                 [self](const QString& path) {
                                     if (!self || path.isEmpty())
                                         return;
                                     QString error;
                                     if (!self->exportCsv(path, &error))
                                         self->m_uiServices->critical(tr("Export CSV"), error);
                                 });
}

void DownloadHistoryDialog::onOpenFolderClicked()
{
    const QString folder = QFileInfo(m_recordPath).absolutePath();
    if (!m_openUrl(QUrl::fromLocalFile(folder))) {
        m_uiServices->critical(tr("Open Folder"),
                               tr("The folder %1 could not be opened.").arg(folder));
    }
}
