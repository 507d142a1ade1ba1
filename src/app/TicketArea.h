#pragma once

#include "ticket/SlotTable.h"

#include <QObject>
#include <array>

class QLineEdit;
class QWidget;
class TicketSlotBox;
class TicketSlots;
class UiServices;

// The ticket area of the main window: the seven slot boxes and the space boxes, drawn from what
// the slots hold, and the adding and removing of tickets. It is shown after a successful query
// and folded away when the line may lead to another indicator.
class TicketArea : public QObject {
    Q_OBJECT
public:
    struct Widgets {
        std::array<TicketSlotBox*, SlotTable::kSlotCount> boxes{};
        QWidget* spaceBox = nullptr;
        QLineEdit* usedSpaceEdit = nullptr;
        QLineEdit* freeSpaceEdit = nullptr;
    };

    TicketArea(TicketSlots& ticketSlots, UiServices& ui, const Widgets& widgets,
               QObject* parent = nullptr);

    // Slot 1 to 7.
    TicketSlotBox* box(int slot) const { return m_widgets.boxes.at(slot - 1); }
    bool isShown() const { return m_shown; }
    // Shows the area drawn afresh from the slots, also after a repeated query.
    void show();
    // Hides the area and empties its space boxes; the slots keep their tickets.
    void fold();
    // Draws every slot box again from what its slot holds.
    void redrawSlots();

signals:
    // A ticket was added or removed.
    void slotsChanged();

private:
    void onLoadClicked(int slot);
    void showSlot(int slot);
    void showSpace();
    void setVisible(bool visible);

    TicketSlots& m_slots;
    UiServices& m_ui;
    Widgets m_widgets;
    bool m_shown = false;
};
