#pragma once

#include "ticket/Downloader.h"

namespace Cli {

enum ExitCode {
    ExitStored = 0,    // every target stored every slot (or the query answered)
    ExitNotStored = 1, // an indicator refused or stopped answering: some slot not stored
    ExitUsage = 2,     // usage, file or set error: nothing sent
    ExitChannel = 3,   // a channel could not be opened or was lost
};

// What a run's outcome means for the program's exit status; None is a query that was answered.
inline ExitCode exitCodeFor(Downloader::Outcome outcome)
{
    switch (outcome) {
    case Downloader::Outcome::None:
    case Downloader::Outcome::Stored:
        return ExitStored;
    case Downloader::Outcome::Lost:
        return ExitChannel;
    case Downloader::Outcome::Refused:
    case Downloader::Outcome::Stopped:
    case Downloader::Outcome::Cancelled:
        break;
    }
    return ExitNotStored;
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
