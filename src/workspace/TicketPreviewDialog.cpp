#include "workspace/TicketPreviewDialog.h"

#include "ticket/TicketPreview.h"
#include "ui/AppIcon.h"
#include "ui/Fonts.h"
#include "ui_TicketPreviewDialog.h"

#include <QFileInfo>
#include <QTextCharFormat>
#include <QTextCursor>

namespace {

// A byte shown by its name stands out as no ticket text can, whose characters are all drawn
// alike: light on a dark box.
const QColor kNamedBackground(0x1E, 0x5A, 0xA8);
const QColor kNamedText(Qt::white);

QTextCharFormat namedFormat()
{
    QTextCharFormat format;
    format.setBackground(kNamedBackground);
    format.setForeground(kNamedText);
    return format;
}

void showPieces(QPlainTextEdit* view, const QList<TicketPreview::Piece>& pieces)
{
    view->clear();
    QTextCursor cursor(view->document());
    cursor.beginEditBlock();
    const QTextCharFormat plain;
    const QTextCharFormat named = namedFormat();
    for (const TicketPreview::Piece& piece : pieces)
        cursor.insertText(piece.text, piece.named ? named : plain);
    cursor.endEditBlock();
    view->moveCursor(QTextCursor::Start);
}

} // namespace

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
    showPieces(m_ui->textView, TicketPreview::pieces(bytes));
    m_ui->legendSample->setFont(Fonts::fixed());
    m_ui->legendSample->setStyleSheet(QStringLiteral("background-color: %1; color: %2")
                                          .arg(kNamedBackground.name(), kNamedText.name()));
    m_ui->hexView->setPlainText(TicketPreview::hexDump(bytes));
    m_ui->summaryLabel->setText(TicketPreview::summary(bytes));
    m_ui->summaryLabel->setToolTip(path);
}

TicketPreviewDialog::~TicketPreviewDialog() = default;

QString TicketPreviewDialog::titleFor(const QString& path)
{
    return tr("Ticket Preview - %1").arg(QFileInfo(path).fileName());
}
