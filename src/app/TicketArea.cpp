#include "app/TicketArea.h"

#include "app/TicketSlotBox.h"
#include "platform/UiServices.h"
#include "ticket/TicketSlots.h"
#include "ui/Fonts.h"

#include <QLineEdit>

namespace {
const QString kTicketFilter = QStringLiteral("Print Files(*.prn) or Text Files(*.txt)|*.prn;*.txt");
} // namespace

TicketArea::TicketArea(TicketSlots& ticketSlots, UiServices& ui, const Widgets& widgets,
                       QObject* parent)
    : QObject(parent)
    , m_slots(ticketSlots)
    , m_ui(ui)
    , m_widgets(widgets)
{
    for (int s = 1; s <= SlotTable::kSlotCount; ++s) {
        box(s)->setSlot(s);
        connect(box(s), &TicketSlotBox::loadClicked, this, &TicketArea::onLoadClicked);
    }
    Fonts::set(m_widgets.usedSpaceEdit, Fonts::kLarge, true);
    Fonts::set(m_widgets.freeSpaceEdit, Fonts::kLarge, true);
    setVisible(false);
}

void TicketArea::show()
{
    m_shown = true;
    redrawSlots();
    // The space boxes tell what the slots really hold, also after a repeated query.
    showSpace();
    setVisible(true);
}

void TicketArea::fold()
{
    m_shown = false;
    setVisible(false);
    m_widgets.usedSpaceEdit->clear();
    m_widgets.freeSpaceEdit->clear();
}

void TicketArea::redrawSlots()
{
    for (int s = 1; s <= SlotTable::kSlotCount; ++s)
        showSlot(s);
}

void TicketArea::setVisible(bool visible)
{
    m_widgets.spaceBox->setVisible(visible);
    for (TicketSlotBox* slotBox : m_widgets.boxes)
        slotBox->setVisible(visible);
}

void TicketArea::showSlot(int slot)
{
    box(slot)->showTicket(m_slots.isLoaded(slot), m_slots.fileNameText(slot), m_slots.path(slot),
                          m_slots.sizeText(slot));
}

void TicketArea::showSpace()
{
    m_widgets.freeSpaceEdit->setText(m_slots.freeSpaceText());
    m_widgets.usedSpaceEdit->setText(m_slots.usedSpaceText());
}

void TicketArea::onLoadClicked(int slot)
{
    const auto shown = [this, slot] {
        showSlot(slot);
        showSpace();
        emit slotsChanged();
    };
    if (m_slots.isLoaded(slot)) {
        m_slots.remove(slot);
        shown();
        return;
    }
    m_ui.chooseOpenFile(kTicketFilter, [this, slot, shown](const QString& path) {
        if (!path.isEmpty()) {
            QString error;
            m_ui.setBusy(true);
            const bool loaded = m_slots.load(slot, path, &error);
            m_ui.setBusy(false);
            if (!loaded)
                m_ui.critical(QStringLiteral("File Error"), error);
        }
        shown();
    });
}
