#pragma once

#include <QCoreApplication>
#include <QString>
#include <array>

// How a run or a download ended, and what each ending is called and means: the word the
// download record keeps (in English, whatever the window's language), the same word as the
// history window shows it, and the command line's exit status.
enum class Outcome {
    None,      // not ended yet
    Answered,  // a query that the indicator answered
    Stored,    // every slot that holds data is stored and pointed at
    Refused,   // the indicator refused or did not answer some write, or nothing could be sent
    Stopped,   // the indicator stopped answering; the download was stopped
    Cancelled, // the operator cancelled
    Lost,      // the channel did not open or was lost
    // Nothing written: the record shows the indicator holding these very tickets already.
    AlreadyStored,
};

namespace Outcomes {

struct Facts {
    Outcome outcome;
    // The record's word, marked for the translation the history window shows.
    const char* word;
    int exitCode;
};

// The exit statuses of the command line.
constexpr int kExitStored = 0;
constexpr int kExitNotStored = 1;
constexpr int kExitUsage = 2;
constexpr int kExitChannel = 3;

inline constexpr std::array<Facts, 8> kTable = {{
    {Outcome::None, QT_TRANSLATE_NOOP("Outcome", "none"), kExitStored},
    {Outcome::Answered, QT_TRANSLATE_NOOP("Outcome", "answered"), kExitStored},
    {Outcome::Stored, QT_TRANSLATE_NOOP("Outcome", "stored"), kExitStored},
    {Outcome::Refused, QT_TRANSLATE_NOOP("Outcome", "refused"), kExitNotStored},
    {Outcome::Stopped, QT_TRANSLATE_NOOP("Outcome", "stopped"), kExitNotStored},
    {Outcome::Cancelled, QT_TRANSLATE_NOOP("Outcome", "cancelled"), kExitNotStored},
    {Outcome::Lost, QT_TRANSLATE_NOOP("Outcome", "lost"), kExitChannel},
    {Outcome::AlreadyStored, QT_TRANSLATE_NOOP("Outcome", "already stored"), kExitStored},
}};

inline const Facts& of(Outcome outcome)
{
    return kTable[size_t(outcome)];
}

// "stored", "refused", ... as the record keeps it.
inline QString word(Outcome outcome)
{
    return QString::fromLatin1(of(outcome).word);
}

inline int exitCode(Outcome outcome)
{
    return of(outcome).exitCode;
}

// A record's outcome word in the language of the installed translator; a word the program does
// not know is returned as it is.
inline QString shownWord(const QString& recordWord)
{
    for (const Facts& facts : kTable) {
        if (recordWord == QLatin1String(facts.word))
            return QCoreApplication::translate("Outcome", facts.word);
    }
    return recordWord;
}

} // namespace Outcomes
