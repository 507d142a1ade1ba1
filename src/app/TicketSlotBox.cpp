#include "app/TicketSlotBox.h"

#include "ticket/SlotTable.h"
#include "ui/Fonts.h"
#include "ui_TicketSlotBox.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>

TicketSlotBox::TicketSlotBox(QWidget* parent)
    : QGroupBox(parent)
    , m_ui(std::make_unique<Ui::TicketSlotBox>())
{
    m_ui->setupUi(this);
    Fonts::set(m_ui->fileNameEdit, Fonts::kMedium);
    Fonts::set(m_ui->sizeEdit, Fonts::kMedium);
    Fonts::set(m_ui->bytesLabel, Fonts::kMedium);
    Fonts::set(m_ui->loadButton, Fonts::kDefault, true);
    connect(m_ui->loadButton, &QPushButton::clicked, this, [this] { emit loadClicked(m_slot); });
    m_ui->fileNameEdit->installEventFilter(this);
    setAcceptDrops(true);
}

TicketSlotBox::~TicketSlotBox() = default;

void TicketSlotBox::setSlot(int slot)
{
    m_slot = slot;
    setTitle(SlotTable::caption(slot));
}

void TicketSlotBox::showTicket(bool loaded, const QString& fileNameText, const QString& path,
                               const QString& sizeText)
{
    m_ui->fileNameEdit->setText(fileNameText);
    m_ui->fileNameEdit->setCursorPosition(0); // the "..." of a cut name stays in sight
    m_ui->fileNameEdit->setToolTip(path);
    m_ui->sizeEdit->setText(sizeText);
    m_ui->loadButton->setText(loaded ? tr("Remove") : tr("Add Ticket"));
    m_loaded = loaded;
}

bool TicketSlotBox::isTicketFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("prn") || suffix == QLatin1String("txt");
}

QString TicketSlotBox::droppedFile(const QMimeData* data)
{
    if (!data->hasUrls() || data->urls().size() != 1 || !data->urls().first().isLocalFile())
        return {};
    return data->urls().first().toLocalFile();
}

bool TicketSlotBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->fileNameEdit && event->type() == QEvent::MouseButtonDblClick && m_loaded) {
        emit previewRequested(m_slot);
        return true;
    }
    return QGroupBox::eventFilter(watched, event);
}

void TicketSlotBox::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* preview = menu->addAction(tr("Preview"));
    preview->setEnabled(m_loaded);
    connect(preview, &QAction::triggered, this, [this] { emit previewRequested(m_slot); });
    menu->popup(event->globalPos());
}

// Other drops, a ticket set among them, are left to the window.
void TicketSlotBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (isTicketFile(droppedFile(event->mimeData())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TicketSlotBox::dropEvent(QDropEvent* event)
{
    const QString path = droppedFile(event->mimeData());
    if (!isTicketFile(path)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit fileDropped(m_slot, path);
}

QLineEdit* TicketSlotBox::fileNameEdit() const
{
    return m_ui->fileNameEdit;
}

QLineEdit* TicketSlotBox::sizeEdit() const
{
    return m_ui->sizeEdit;
}

QLabel* TicketSlotBox::bytesLabel() const
{
    return m_ui->bytesLabel;
}

QPushButton* TicketSlotBox::loadButton() const
{
    return m_ui->loadButton;
}
