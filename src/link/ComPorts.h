#pragma once

#include <QString>
#include <array>

class SettingsStore;

// The devices behind COM 1 to COM 8 and how their serial ports open, as the settings file gives
// them: the section [PortNames] names a device for a COM port, otherwise it is the system's.
struct ComPorts {
    static constexpr int kCount = 8;

    std::array<QString, kCount> devices; // COM k at k - 1
    bool lowLatency = true;

    // The system's own names.
    ComPorts();
    static ComPorts fromSettings(const SettingsStore& settings);

    // COM k on this system without [PortNames]: /dev/ttyS<k-1> on Linux, COMk on Windows.
    static QString systemDevice(int comNumber);
    static bool isComNumber(int comNumber) { return comNumber >= 1 && comNumber <= kCount; }
    // The device behind COM k; empty for a number that is no COM port.
    QString device(int comNumber) const;
};
