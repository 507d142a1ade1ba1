#pragma once

#include <QString>

namespace Cli {

// The overview, or the options of one command ("query", "download", "fleet").
QString helpText(const QString& topic);
// True for a command that has help of its own.
bool isCommand(const QString& word);

} // namespace Cli
