#pragma once

#include "ticket/SlotTable.h"

#include <QString>
#include <QStringList>
#include <array>

class TicketSlots;

// The files of all seven slots, kept together so that a weighbridge's tickets can be loaded in
// one step. paths[s - 1] is slot s.
struct TicketSet {
    std::array<QString, SlotTable::kSlotCount> paths; // absolute; empty = no file
};

// The ticket set file: a small UTF-8 INI text,
//
//   [TicketSet]
//   Slot1=gross-net-tare.prn
//   Slot2=/home/op/tickets/truck-first.prn
//
// Blank lines and lines starting with ';' or '#' are ignored; the section and key names match
// without regard to case. Anything else makes the whole file unreadable: no [TicketSet]
// section, another section, a key other than Slot1 to Slot7, a key given twice, a line that is
// not key=value, a NUL byte, a slot that names the set itself. A value stands without the blanks
// around it; one pair of enclosing double quotes is removed, so a path that starts or ends with a
// blank can be written. A backslash separates folders, as in a set written on Windows.
namespace TicketSetFile {

// A set file by its name (*.tkset), as the window's drops and the ticket slots tell one.
bool isSetPath(const QString& path);

// [TicketSet] SlotN=path; relative paths resolved against the set file's folder. On failure
// false, *errorText names the file and the fault; *set untouched.
bool read(const QString& setPath, TicketSet* set, QString* errorText);

// Only slots with a path; stored relative to the set file when below its folder, absolute
// otherwise. Lines end with CRLF, as in the program's settings file. The file is replaced
// atomically: on failure the old one stays as it was.
bool write(const QString& setPath, const TicketSet& set, QString* errorText);

} // namespace TicketSetFile

// Loads every file of the set into the slots as the Add Ticket button does (TicketSlots::load,
// same checks); slots without a file are emptied; a slot whose file cannot be loaded stays
// empty. Every file is read and checked before any slot changes. Returns one line for each slot
// that could not be loaded, "Slot 2 (Truck 1st Weighing): why", in slot order.
QStringList loadTicketSetSlots(TicketSlots& ticketSlots, const TicketSet& set);
// The same, with the window's one message naming every slot that could not be loaded and why;
// "" when every file loaded.
QString loadTicketSet(TicketSlots& ticketSlots, const TicketSet& set);
