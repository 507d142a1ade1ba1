#pragma once

#include "ticket/SlotTable.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>

// The seven ticket templates held in memory and the space they take in the
// indicator's ticket memory. Slots are numbered 1 to 7; contents()[s - 1] is slot s.
//
// A slot is "loaded" once a file has been read into it (path() is not empty) and "in use" when
// it holds data (content() is not empty). The two differ only for an empty file: the slot shows
// as loaded with size " 0" and can be removed, but it holds nothing to download.
class TicketSlots : public QObject {
    Q_OBJECT
public:
    // Far beyond any ticket template; it only stops a wrongly chosen huge file from exhausting
    // memory.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;
    // File names longer than this are shown cut from the left.
    static constexpr int kFileNameWidth = 30;

    explicit TicketSlots(QObject* parent = nullptr);

    const SlotTable::Contents& contents() const { return m_data; }
    const QByteArray& content(int slot) const;
    QString path(int slot) const;
    const SlotTable::Paths& paths() const { return m_paths; }
    bool isLoaded(int slot) const;
    bool inUse(int slot) const;
    bool anyInUse() const;
    bool anyLoaded() const;

    // Reads the file whole as bytes; a ticket set (*.tkset) is no ticket. On failure: false,
    // *errorText names the file and the reason, and the slot keeps its earlier content and path.
    bool load(int slot, const QString& path, QString* errorText);
    void remove(int slot);
    // Slot s of `from`, as it was read there.
    void copySlot(int slot, const TicketSlots& from);

    qint32 freeSpace() const;
    qint32 usedSpace() const;

    // The texts of the slot's boxes: empty for a slot not loaded.
    QString fileNameText(int slot) const;
    QString sizeText(int slot) const;
    // The texts of the space boxes (" 31534", "-232").
    QString freeSpaceText() const;
    QString usedSpaceText() const;

    // The whole path when it has at most 30 characters, else "..." and its last 27.
    static QString shortFileName(const QString& path);
    static bool isValidSlot(int slot) { return slot >= 1 && slot <= SlotTable::kSlotCount; }

private:
    SlotTable::Contents m_data;
    SlotTable::Paths m_paths;
};
