#pragma once

#include "ticket/DownloadRecord.h"

#include <QDialog>
#include <QFutureWatcher>
#include <functional>
#include <memory>

class DownloadHistoryModel;
class QUrl;
class UiServices;

namespace Ui {
class DownloadHistoryDialog;
}

// The downloads the record file holds, newest first, narrowed by the indicator's serial number;
// the selected download's tickets with their sizes and SHA-256 below. The shown downloads can be
// exported as CSV. The file is read afresh each time the window is shown, so that downloads made
// meanwhile, from the window or the command line, appear; a large one on a worker thread, while
// the window says it is reading and goes on answering. Not modal; discarded when it closes.
class DownloadHistoryDialog : public QDialog {
    Q_OBJECT
public:
    // A record up to this size is read at once (some thousands of downloads, well under a tenth
    // of a second); a larger one on a worker thread.
    static constexpr qint64 kReadInBackgroundFrom = 1024 * 1024;

    // Shows a folder in the system's file manager; false when that failed.
    using OpenUrlHook = std::function<bool(const QUrl& url)>;

    explicit DownloadHistoryDialog(const QString& recordPath, QWidget* parent = nullptr);
    ~DownloadHistoryDialog() override;

    // Tests answer the file dialog and read the messages through their own UiServices, and
    // watch the folder being opened.
    void setOpenUrlHook(OpenUrlHook hook) { m_openUrl = std::move(hook); }
    void setUiServices(UiServices* services) { m_uiServices = services; }

    // Reads the record file again and shows what it holds; a large file shows once it is read.
    void reload();
    // The shown downloads as CSV, a heading line first, the cells as the table shows them; a
    // text cell that a spreadsheet would run as a formula starts with an apostrophe. False and
    // *errorText naming the file and the fault when it could not be written.
    bool exportCsv(const QString& path, QString* errorText) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showContents(DownloadLog::Contents contents);
    void showRecords();
    void showSlots();
    void onExportClicked();
    void onOpenFolderClicked();

    std::unique_ptr<Ui::DownloadHistoryDialog> m_ui;
    std::unique_ptr<UiServices> m_ownUiServices;
    UiServices* m_uiServices = nullptr;
    QString m_recordPath;
    DownloadHistoryModel* m_model = nullptr;
    // The read of a large file under way; replaced by a new read, so a stale one shows nothing.
    std::unique_ptr<QFutureWatcher<DownloadLog::Contents>> m_reading;
    OpenUrlHook m_openUrl;
};
