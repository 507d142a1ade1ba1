#include "cli/Tickets.h"

#include "cli/CommandLine.h"
#include "cli/TerminalTexts.h"
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
        if (const QStringList problems = loadTicketSetSlots(loaded, set); !problems.isEmpty())
            return fail(error,
                        TerminalTexts::counted(problems.size(), QStringLiteral("ticket of the set"),
                                               QStringLiteral("tickets of the set")) +
                            QStringLiteral(" could not be loaded, so nothing was sent:\n") +
                            problems.join(u'\n'));
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
    tickets->hashed = DownloadRecord::ticketsOf(tickets->contents, tickets->paths);
    return true;
}

} // namespace Cli
