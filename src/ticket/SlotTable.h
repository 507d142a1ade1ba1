#pragma once

#include "link/IndicatorProtocol.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <array>

// The indicator's seven ticket kinds, in slot order, and the size of its ticket memory: the one
// place that names them.
namespace SlotTable {

constexpr int kSlotCount = 7;
// The indicator may lack this slot's ticket kind: a refused pointer write for it is tolerated
// while it holds nothing.
constexpr int kOptionalSlot = 7;

// What the seven slots hold and the files it came from; slot s is index s - 1.
using Contents = std::array<QByteArray, kSlotCount>;
using Paths = std::array<QString, kSlotCount>;

// The slot frames' captions, trailing blanks as the window shows them; slot s is index s - 1.
// Marked here and translated where shown, so that they follow the translator installed then.
inline constexpr std::array<const char*, kSlotCount> kCaptions = {
    QT_TRANSLATE_NOOP("SlotTable", "Gross/Net/Tare Ticket "),
    QT_TRANSLATE_NOOP("SlotTable", "Truck 1st Weighing "),
    QT_TRANSLATE_NOOP("SlotTable", "Truck Complete Weighing "),
    QT_TRANSLATE_NOOP("SlotTable", "Industrial: Total Header"),
    QT_TRANSLATE_NOOP("SlotTable", "Industrial: Total Body"),
    QT_TRANSLATE_NOOP("SlotTable", "Industrial: Total Footer"),
    QT_TRANSLATE_NOOP("SlotTable", "Truck Simple Weighing"),
};

// Slot s's caption in the language of the installed translator, English without one.
inline QString caption(int slot)
{
    return QCoreApplication::translate("SlotTable", kCaptions.at(slot - 1));
}

// "slot 3 (Truck Complete Weighing)", as messages name a slot.
inline QString slotName(int slot)
{
    return QCoreApplication::translate("SlotTable", "slot %1 (%2)")
        .arg(QString::number(slot), caption(slot).trimmed());
}

} // namespace SlotTable
