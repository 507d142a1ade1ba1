#pragma once

#include "ticket/SlotTable.h"

#include <QByteArray>
#include <array>

// What the benchmarks download: a full ticket memory.
namespace BenchContents {

using Contents = std::array<QByteArray, SlotTable::kSlotCount>;

// Slot sizes that fill the memory exactly: none a multiple of 4, a 1-byte slot, and slot 3
// empty, so the layout has odd boundaries and a gap.
constexpr std::array<int, SlotTable::kSlotCount> kSlotSizes{5001, 1, 0, 9999, 3, 11111, 6653};
static_assert(kSlotSizes[0] + kSlotSizes[1] + kSlotSizes[2] + kSlotSizes[3] + kSlotSizes[4] +
                  kSlotSizes[5] + kSlotSizes[6] ==
              IndicatorProtocol::kDataAreaSize);

// Every byte value, in an order that differs per seed, so a stale memory cannot pass the check.
inline Contents make(quint32 seed)
{
    Contents contents;
    quint32 state = seed;
    for (int s = 0; s < SlotTable::kSlotCount; ++s) {
        for (int i = 0; i < kSlotSizes[s]; ++i) {
            state = state * 1664525u + 1013904223u;
            contents[s].append(char(state >> 24));
        }
    }
    return contents;
}

} // namespace BenchContents
