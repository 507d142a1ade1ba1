#pragma once

#include "link/IndicatorProtocol.h"

#include <QByteArray>
#include <QString>
#include <array>

// The indicator's seven ticket kinds, in slot order, and the size of its ticket memory: the one
// place that names them.
namespace SlotTable {

constexpr int kSlotCount = 7;
// The ticket data area runs from 0000 to 7FFF.
constexpr qint32 kMemorySize = IndicatorProtocol::kDataAreaSize;
// The indicator may lack this slot's ticket kind: a refused pointer write for it is tolerated
// while it holds nothing.
constexpr int kOptionalSlot = 7;

// What the seven slots hold and the files it came from; slot s is index s - 1.
using Contents = std::array<QByteArray, kSlotCount>;
using Paths = std::array<QString, kSlotCount>;

// The slot frames' captions, trailing blanks as the window shows them; slot s is index s - 1.
inline const std::array<QString, kSlotCount> kCaptions = {
    QStringLiteral("Gross/Net/Tare Ticket "),   QStringLiteral("Truck 1st Weighing "),
    QStringLiteral("Truck Complete Weighing "), QStringLiteral("Industrial: Total Header"),
    QStringLiteral("Industrial: Total Body"),   QStringLiteral("Industrial: Total Footer"),
    QStringLiteral("Truck Simple Weighing"),
};

// "slot 3 (Truck Complete Weighing)", as messages name a slot.
inline QString slotName(int slot)
{
    return QStringLiteral("slot %1 (%2)").arg(slot).arg(kCaptions.at(slot - 1).trimmed());
}

} // namespace SlotTable
