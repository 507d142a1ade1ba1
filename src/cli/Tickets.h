#pragma once

#include "ticket/DownloadRecord.h"
#include "ticket/SlotTable.h"

#include <QString>

namespace Cli {

struct Command;

// The seven slots' contents and files, loaded and checked as the window checks them.
struct Tickets {
    SlotTable::Contents contents;
    SlotTable::Paths paths; // absolute; empty for no file
    // Each slot holding data with its hash, as the record keeps it.
    QList<DownloadRecord::Slot> hashed;
};

// Reads the files of --slot or of the set. False and *error when a file cannot be read, the set
// is damaged, nothing holds data, or the tickets cannot be laid out in the indicator's memory.
bool loadTickets(const Command& command, Tickets* tickets, QString* error);

} // namespace Cli
