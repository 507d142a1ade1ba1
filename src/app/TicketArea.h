#pragma once

#include "ticket/SlotTable.h"

#include <QObject>
#include <array>

class QLineEdit;
class QWidget;
class SettingsStore;
class TicketSlotBox;
class TicketSlots;
class UiServices;

// The ticket area of the main window: the seven slot boxes and the space boxes, drawn from what
// the slots hold; adding, dropping, removing and previewing tickets; ticket sets. It is shown
// after a successful query and folded away when the line may lead to another indicator. File
// dialogs open in the folder used last, which the settings file keeps across runs.
class TicketArea : public QObject {
    Q_OBJECT
public:
    struct Widgets {
        // Parent of the preview windows; a ticket set dropped anywhere on it opens.
        QWidget* window = nullptr;
        std::array<TicketSlotBox*, SlotTable::kSlotCount> boxes{};
        QWidget* spaceBox = nullptr;
        QLineEdit* usedSpaceEdit = nullptr;
        QLineEdit* freeSpaceEdit = nullptr;
    };

    TicketArea(TicketSlots& ticketSlots, UiServices& ui, SettingsStore& settings,
               const Widgets& widgets, QObject* parent = nullptr);

    // Slot 1 to 7.
    TicketSlotBox* box(int slot) const { return m_widgets.boxes.at(slot - 1); }
    bool isShown() const { return m_shown; }
    // Shows the area drawn afresh from the slots, also after a repeated query.
    void show();
    // Hides the area and empties its space boxes; the slots keep their tickets.
    void fold();
    // Draws every slot box again from what its slot holds.
    void redrawSlots();

    // Ticket sets, from the File menu or a dropped file; opening one needs the area shown.
    void chooseSetToOpen();
    void openSet(const QString& path);
    void chooseSetToSave();
    // The file dialogs' filters: "Description|*.a;*.b".
    static QString ticketFilter();
    static QString setFilter();

signals:
    // A ticket was added or removed.
    void slotsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onLoadClicked(int slot);
    void loadFile(int slot, const QString& path);
    void preview(int slot);
    void saveSet(const QString& path);
    // Remembers the folder of a file the operator chose, for the next file dialog.
    void rememberFolder(const QString& path);
    void showSlot(int slot);
    void showSpace();
    // Marks the free box when the tickets hold more than the indicator's memory by excess bytes.
    void showExcess(qint32 excess);
    void setVisible(bool visible);
    void changed();

    TicketSlots& m_slots;
    UiServices& m_ui;
    SettingsStore& m_settings;
    Widgets m_widgets;
    QString m_lastFolder;
    bool m_shown = false;
};
