#pragma once

#include "cli/CommandLine.h"
#include "cli/ExitCode.h"

class Console;

namespace Cli {

// ports: the serial devices of this computer and the COM port each one is in the window, then
// the device behind each COM port. With --map it writes one COM port's device into the settings
// file instead, once the device is known to exist.
ExitCode runPorts(const Command& command, const QString& settingsPath, Console& console);

} // namespace Cli
