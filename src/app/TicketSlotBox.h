#pragma once

#include <QGroupBox>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class TicketSlotBox;
}

// The box of one ticket slot: its title, the file's name and size, and the button that adds a
// ticket to the slot or removes it.
class TicketSlotBox : public QGroupBox {
    Q_OBJECT
public:
    explicit TicketSlotBox(QWidget* parent = nullptr);
    ~TicketSlotBox() override;

    // Slot 1 to 7: takes the slot's title.
    void setSlot(int slot);
    int slot() const { return m_slot; }

    // An empty slot shows empty boxes and "Add Ticket", a loaded one its file and "Remove".
    void showTicket(bool loaded, const QString& fileNameText, const QString& path,
                    const QString& sizeText);

    QLineEdit* fileNameEdit() const;
    QLineEdit* sizeEdit() const;
    QLabel* bytesLabel() const;
    QPushButton* loadButton() const;

signals:
    void loadClicked(int slot);

private:
    std::unique_ptr<Ui::TicketSlotBox> m_ui;
    int m_slot = 0;
};
