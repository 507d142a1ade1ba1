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
    static constexpr int kSlotCount = SlotTable::kSlotCount;
    static constexpr qint32 kDataAreaSize = SlotTable::kMemorySize;
    static constexpr int kBlockSize = IndicatorProtocol::kBytesPerWrite;

    struct Block {
        qint32 position; // 1-based position of the block's first byte in the image (1, 5, 9, ...)
        QByteArray command;
    };

    QByteArray image;
    std::array<qint32, kSlotCount> startOffset{}, endOffset{};
    std::array<QString, kSlotCount> startText, endText;
    std::array<QByteArray, kSlotCount> clearingCommands;
    QList<Block> dataBlocks;
    std::array<QByteArray, kSlotCount> pointerCommands;

    qint32 totalBytes() const { return static_cast<qint32>(image.size()); }
    // The clearing pass, the data pass and the pointer pass, in the order they are sent.
    QList<QByteArray> allCommands() const;
};

// Why the seven contents cannot be downloaded as they are, as the message that says so; empty
// when they can: more bytes than the data area holds, or a one-byte ticket at address 0000,
// whose pointer entry 00000000 the indicator reads as an empty slot.
QString layoutFault(const std::array<QByteArray, DownloadPlan::kSlotCount>& contents);

// Lays out the seven contents (slot 1 first). Only a total of at most kDataAreaSize bytes gives
// addresses the indicator can take; the downloader refuses anything larger before using a plan.
DownloadPlan makeDownloadPlan(const std::array<QByteArray, DownloadPlan::kSlotCount>& contents);
