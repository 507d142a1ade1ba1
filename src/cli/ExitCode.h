#pragma once

#include "ticket/Outcome.h"

namespace Cli {

enum ExitCode {
    ExitStored = Outcomes::kExitStored,       // every target stored every slot (or answered)
    ExitNotStored = Outcomes::kExitNotStored, // an indicator refused or stopped answering
    ExitUsage = Outcomes::kExitUsage,         // usage, file or set error: nothing sent
    ExitChannel = Outcomes::kExitChannel,     // a channel could not be opened or was lost
};

// What a run's outcome means for the program's exit status.
inline ExitCode exitCodeFor(Outcome outcome)
{
    return ExitCode(Outcomes::exitCode(outcome));
}

// A fleet ends with the worst of its runs: a channel, then a ticket not stored, then a row that
// was skipped, then success.
inline ExitCode worse(ExitCode a, ExitCode b)
{
    const auto rank = [](ExitCode code) {
        switch (code) {
        case ExitChannel:
            return 3;
        case ExitNotStored:
            return 2;
        case ExitUsage:
            return 1;
        case ExitStored:
            break;
        }
        return 0;
    };
    return rank(a) >= rank(b) ? a : b;
}

} // namespace Cli
