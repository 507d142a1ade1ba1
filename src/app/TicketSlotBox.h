#pragma once

#include <QGroupBox>
#include <memory>

class QContextMenuEvent;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QMimeData;
class QLineEdit;
class QPushButton;

namespace Ui {
class TicketSlotBox;
}

// The box of one ticket slot: its title, the file's name and size, and the button that adds a
// ticket to the slot or removes it. A ticket file dropped on the box is offered to the slot; a
// double-click on the file's name or the box's "Preview" entry asks for a preview.
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

    // A ticket file the box takes when dropped: one local *.prn or *.txt file.
    static bool isTicketFile(const QString& path);

signals:
    void loadClicked(int slot);
    void fileDropped(int slot, const QString& path);
    void previewRequested(int slot);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    static QString droppedFile(const QMimeData* data);

    std::unique_ptr<Ui::TicketSlotBox> m_ui;
    int m_slot = 0;
    bool m_loaded = false;
};
