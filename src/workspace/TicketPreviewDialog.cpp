#include "workspace/TicketPreviewDialog.h"

#include "ticket/TicketPreview.h"
#include "ui/AppIcon.h"
#include "ui/Fonts.h"
#include "ui_TicketPreviewDialog.h"

#include <QFileInfo>

TicketPreviewDialog::TicketPreviewDialog(const QString& path, const QByteArray& bytes,
                                         QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TicketPreviewDialog>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(AppIcon::icon());
    setFont(Fonts::sans());
    setWindowTitle(titleFor(path));

    for (QPlainTextEdit* view : {m_ui->textView, m_ui->hexView})
        view->setFont(Fonts::fixed());
    m_ui->textView->setPlainText(TicketPreview::text(bytes));
    m_ui->hexView->setPlainText(TicketPreview::hexDump(bytes));
    m_ui->summaryLabel->setText(TicketPreview::summary(bytes));
    m_ui->summaryLabel->setToolTip(path);
}

TicketPreviewDialog::~TicketPreviewDialog() = default;

QString TicketPreviewDialog::titleFor(const QString& path)
{
    return tr("Ticket Preview - %1").arg(QFileInfo(path).fileName());
}
