#pragma once

#include "cli/CommandLine.h"

#include <QList>
#include <QString>

namespace Cli {

// A command of the program: the word that names it, what it does in a line, and its help.
struct CommandInfo {
    Command::Kind kind;
    QString word;
    QString summary;
    QString help;
};

// Every command that does work, in the order the overview lists them.
const QList<CommandInfo>& commandTable();
// The command the word names; nothing for a word that names none.
const CommandInfo* findCommand(const QString& word);
const CommandInfo* findCommand(Command::Kind kind);
// "query, download or fleet", for the messages that list them.
QString commandChoices();

// The overview, or the options of one command ("query", "download", "fleet").
QString helpText(const QString& topic);

} // namespace Cli
