#pragma once

#include <QString>
#include <optional>

class ChannelManager;

// What status panels 2 and 3 show of the channel: at start-up, and after each choice confirmed
// in the port, rate and TCP/IP windows, which these apply. Nothing: the panel keeps its text.
namespace ChannelPanels {

struct Texts {
    std::optional<QString> channel; // panel 2
    std::optional<QString> line;    // panel 3
};

// The channel in force and its line settings or host.
Texts inForce(ChannelManager& channels);
// A COM port's panel is written on every confirm; TCP/IP's when it is newly chosen, with the
// host panel emptied until the TCP/IP window names one.
Texts choosePort(ChannelManager& channels, int channelCode);
Texts chooseRate(ChannelManager& channels, int rate);
Texts chooseHost(ChannelManager& channels, const QString& host);

// The rate the rate window opens with: one of the six; a line setting outside them is replaced
// at once with kDialogFallbackRate, whatever the operator does next.
constexpr int kDialogFallbackRate = 38400;
int rateForDialog(ChannelManager& channels);

} // namespace ChannelPanels
