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
