#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TicketPreviewDialog;
}

// A ticket file as it will go to the indicator, before the download: its text with the control
// bytes named, a hex dump, its size and SHA-256. Read-only and not modal, so it can stay open
// beside the main window; resizable, discarded when it closes.
class TicketPreviewDialog : public QDialog {
    Q_OBJECT
public:
    TicketPreviewDialog(const QString& path, const QByteArray& bytes, QWidget* parent = nullptr);
    ~TicketPreviewDialog() override;

    // "Ticket Preview - gross-net-tare.prn": the file's name, without its folder.
    static QString titleFor(const QString& path);

private:
    std::unique_ptr<Ui::TicketPreviewDialog> m_ui;
};
