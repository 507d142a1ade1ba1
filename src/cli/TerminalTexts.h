#pragma once

#include "session/SessionFailure.h"
#include "ticket/DownloadNotice.h"

#include <QString>

// The terminal's words for what the session and the download report: English, each under its
// title as the window's box has it ("Port Error: ..."), without advice about the window's menus,
// and without the system's words where they mislead (a vanished pseudo-terminal is a lost
// connection, not a missing file).
namespace Cli::TerminalTexts {

QString failure(const SessionFailure& failure);
QString notice(const DownloadNotice& notice);

// "1 command", "2 commands".
QString counted(qint64 count, const QString& one, const QString& many);

} // namespace Cli::TerminalTexts
