#pragma once

#include <QString>
#include <optional>

#include "link/ChannelSettings.h"

class WindowChannelSettings;

// What status panels 2 and 3 show of the channel: at start-up, and after each choice confirmed
// in the port, rate and TCP/IP windows, which these apply. Nothing: the panel keeps its text.
namespace ChannelPanels {

struct Texts {
    std::optional<QString> channel; // panel 2
    std::optional<QString> line;    // panel 3
};

// The channel in force and its line settings or host.
Texts inForce(const WindowChannelSettings& channels);
// A COM port's panel is written on every confirm; TCP/IP's when it is newly chosen, with the
// host panel emptied until the TCP/IP window names one.
Texts choosePort(WindowChannelSettings& channels, ChannelSettings::Choice choice);
Texts chooseRate(WindowChannelSettings& channels, int rate);
Texts chooseHost(WindowChannelSettings& channels, const QString& host);

} // namespace ChannelPanels
