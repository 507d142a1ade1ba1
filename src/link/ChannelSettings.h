#pragma once

#include "link/ComPorts.h"

#include <QString>
#include <array>

// The window's channel settings in force, as a plain value: what the port, rate and TCP/IP
// windows show and hand back.
struct ChannelSettings {
    // A channel the port window offers: COM 1 to COM 8, or the network channel the settings
    // file names (TCP/IP, or a serial device server's port).
    struct Choice {
        enum class Kind { Com, Network };
        Kind kind = Kind::Com;
        int comNumber = 1; // Com

        static Choice com(int comNumber) { return {Kind::Com, comNumber}; }
        static Choice network() { return {Kind::Network, 0}; }
        bool isNetwork() const { return kind == Kind::Network; }
        friend bool operator==(const Choice&, const Choice&) = default;
    };

    Choice channel;
    // The device behind each COM port and what the start-up probe found, COM k at k - 1.
    std::array<QString, ComPorts::kCount> devices{};
    std::array<bool, ComPorts::kCount> present{};
    // The serial line's rate, here or behind a device server; 0 for a raw TCP port.
    int rate = 0;
    QString host;
    quint16 port = 0;
};
