#pragma once

#include "platform/SerialPort.h"

#include <QString>
#include <array>

// The channel settings in force, as a plain value: what the port and TCP/IP windows show. The
// channel manager hands it out and applies the choices made.
struct ChannelSettings {
    // 1 to 8 for COM 1 to COM 8, kTcpChannel for TCP/IP.
    static constexpr int kTcpChannel = 9;
    // The six rates of the serial line, in the order of their codes "0" to "5".
    static constexpr std::array<int, 6> kBaudRates = {4800, 9600, 19200, 38400, 57600, 115200};

    int channelCode = 1;
    // The device behind each COM number, COM k at k - 1.
    std::array<QString, SerialPort::kPortCount> devices{};
    // What the start-up probe found, COM k at k - 1.
    std::array<bool, SerialPort::kPortCount> present{};
    QString host;
    qint32 port = 0;

    bool isTcp() const { return channelCode == kTcpChannel; }

    // The rate's code "0" to "5" as the settings file stores it, or -1 for a rate outside the six.
    static int baudCode(int rate)
    {
        for (size_t i = 0; i < kBaudRates.size(); ++i) {
            if (kBaudRates[i] == rate)
                return static_cast<int>(i);
        }
        return -1;
    }
};
