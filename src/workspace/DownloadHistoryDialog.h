#pragma once

#include "ticket/DownloadRecord.h"

#include <QDialog>
#include <functional>
#include <memory>

class QUrl;
class UiServices;

namespace Ui {
class DownloadHistoryDialog;
}

// The downloads the record file holds, newest first, narrowed by the indicator's serial number;
// the selected download's tickets with their sizes and SHA-256 below. The shown downloads can be
// exported as CSV. The file is read afresh each time the window is shown, so that downloads made
// meanwhile, from the window or the command line, appear. Not modal; discarded when it closes.
class DownloadHistoryDialog : public QDialog {
    Q_OBJECT
public:
    // Shows a folder in the system's file manager; false when that failed.
    using OpenUrlHook = std::function<bool(const QUrl& url)>;

    explicit DownloadHistoryDialog(const QString& recordPath, QWidget* parent = nullptr);
    ~DownloadHistoryDialog() override;

    // Tests answer the file dialog and read the messages through their own UiServices, and
    // watch the folder being opened.
    void setOpenUrlHook(OpenUrlHook hook) { m_openUrl = std::move(hook); }
    void setUiServices(UiServices* services) { m_uiServices = services; }

    // Reads the record file again and shows what it holds.
    void reload();
    // The shown downloads as CSV, a heading line first, the cells as the table shows them.
    // False and *errorText naming the file and the fault when it could not be written.
    bool exportCsv(const QString& path, QString* errorText) const;

    // The text a table cell shows for a text the indicator sent: control characters named as
    // in the traffic log.
    static QString shownText(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showRecords();
    void showSlots();
    void onExportClicked();
    void onOpenFolderClicked();
    QStringList rowTexts(const DownloadRecord& record) const;

    std::unique_ptr<Ui::DownloadHistoryDialog> m_ui;
    std::unique_ptr<UiServices> m_ownUiServices;
    UiServices* m_uiServices = nullptr;
    QString m_recordPath;
    QList<DownloadRecord> m_records; // newest first
    QList<DownloadRecord> m_shown;   // those the serial number filter lets through
    OpenUrlHook m_openUrl;
};
