#include "cli/Tickets.h"

#include "cli/CommandLine.h"
#include "platform/SystemNames.h"
#include "ticket/DownloadPlan.h"
#include "ticket/TicketSet.h"
#include "ticket/TicketSlots.h"

namespace Cli {

namespace {
bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}
} // namespace

bool loadTickets(const Command& command, Tickets* tickets, QString* error)
{
    // The window's own loading: the same reading, the same checks, the same messages.
    TicketSlots loaded;
    if (!command.setPath.isEmpty()) {
        TicketSet set;
        if (!TicketSetFile::read(command.setPath, &set, error))
            return false;
        if (const QString fault = loadTicketSet(loaded, set); !fault.isEmpty())
            return fail(error, fault);
    }
    for (const auto& [slot, file] : command.slotFiles) {
        if (!loaded.load(slot, SystemNames::absolutePath(file), error))
            return false;
    }
    if (!loaded.anyInUse())
        return fail(error,
                    QStringLiteral("The tickets hold no data: there is nothing to download."));
    if (const LayoutFault fault = checkLayout(loaded.contents()); !fault.isNone())
        return fail(error, layoutFaultText(fault));
    tickets->contents = loaded.contents();
    tickets->paths = loaded.paths();
    return true;
}

} // namespace Cli
