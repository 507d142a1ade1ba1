#pragma once

#include "link/IndicatorProtocol.h"
#include "ticket/SlotTable.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>

// Everything one download sends, worked out before the first command goes out: the seven slot
// contents joined into one image, each slot's place in it, and the ordered command lines.
// Slot s is index s - 1 of every array.
struct DownloadPlan {
    static constexpr int kBlockSize = IndicatorProtocol::kBytesPerWrite;

    struct Block {
        qint32 position; // 1-based position of the block's first byte in the image (1, 5, 9, ...)
        QByteArray command;
    };

    QByteArray image;
    std::array<qint32, SlotTable::kSlotCount> startOffset{}, endOffset{};
    std::array<QString, SlotTable::kSlotCount> startText, endText;
    std::array<QByteArray, SlotTable::kSlotCount> clearingCommands;
    QList<Block> dataBlocks;
    std::array<QByteArray, SlotTable::kSlotCount> pointerCommands;

    qint32 totalBytes() const { return static_cast<qint32>(image.size()); }
    // The clearing pass, the data pass and the pointer pass, in the order they are sent.
    QList<QByteArray> allCommands() const;
};

// The three passes of a download, in the order they go out.
enum class DownloadPass { Clearing, Data, Pointers };

// The commands of one download by their place in the whole sequence: the clearing pass
// [0, dataBegin), the data pass [dataBegin, pointerBegin), the pointer pass [pointerBegin, end).
class DownloadSequence {
public:
    DownloadSequence() = default;
    explicit DownloadSequence(DownloadPlan plan);

    const DownloadPlan& plan() const { return m_plan; }
    int dataBegin() const { return SlotTable::kSlotCount; }
    int pointerBegin() const { return m_pointerBegin; }
    int end() const { return m_pointerBegin + SlotTable::kSlotCount; }

    DownloadPass passOf(int index) const;
    int blockOf(int index) const { return index - dataBegin(); }
    // The clearing and pointer passes: the slot index 0..6 of the entry.
    int slotOf(int index) const;
    qint32 addressOf(int index) const;
    // The command at the index; the pointer entry of a slot whose ticket is not whole in the
    // indicator clears it instead, so that it is never pointed at.
    QByteArray commandAt(int index, bool slotBroken) const;
    // The slots among `holding` whose bytes the data block holds: one, or several where tickets
    // end inside it (slot numbers from 1).
    QList<int> slotsOfBlock(int block,
                            const std::array<bool, SlotTable::kSlotCount>& holding) const;

private:
    DownloadPlan m_plan;
    int m_pointerBegin = SlotTable::kSlotCount;
};

// Why the seven contents cannot be downloaded as they are: more bytes than the data area holds,
// or a one-byte ticket at address 0000, whose pointer entry 00000000 the indicator reads as an
// empty slot.
struct LayoutFault {
    enum class Kind { None, TooLarge, OneByteFirst };
    Kind kind = Kind::None;
    qint64 totalBytes = 0; // TooLarge
    int slot = 0;          // OneByteFirst
    bool isNone() const { return kind == Kind::None; }
};
LayoutFault checkLayout(const SlotTable::Contents& contents);
// The message that says so, in the language of the installed translator; empty for none.
QString layoutFaultText(const LayoutFault& fault);

// Lays out the seven contents (slot 1 first). Only a total of at most
// IndicatorProtocol::kDataAreaSize bytes gives addresses the indicator can take; the downloader
// refuses anything larger before using a plan.
DownloadPlan makeDownloadPlan(const SlotTable::Contents& contents);
