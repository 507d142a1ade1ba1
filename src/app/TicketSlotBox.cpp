#include "app/TicketSlotBox.h"

#include "ticket/SlotTable.h"
#include "ui/Fonts.h"
#include "ui_TicketSlotBox.h"

namespace {
const QString kAddTicket = QStringLiteral("Add Ticket");
const QString kRemove = QStringLiteral("Remove");
} // namespace

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
}

TicketSlotBox::~TicketSlotBox() = default;

void TicketSlotBox::setSlot(int slot)
{
    m_slot = slot;
    setTitle(SlotTable::kCaptions.at(slot - 1));
}

void TicketSlotBox::showTicket(bool loaded, const QString& fileNameText, const QString& path,
                               const QString& sizeText)
{
    m_ui->fileNameEdit->setText(fileNameText);
    m_ui->fileNameEdit->setCursorPosition(0); // the "..." of a cut name stays in sight
    m_ui->fileNameEdit->setToolTip(path);
    m_ui->sizeEdit->setText(sizeText);
    m_ui->loadButton->setText(loaded ? kRemove : kAddTicket);
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
