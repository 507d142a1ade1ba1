#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The serial devices of this computer as the system lists them, and the names that lead to them.
namespace SerialDevices {

struct Device {
    // As the settings file's [PortNames] names a device: /dev/ttyUSB0 on Linux, COM3 on Windows.
    QString path;
    // What a USB adapter tells of itself; empty where the system knows nothing (on-board ports,
    // pseudo-terminals).
    QString description;
    QString manufacturer;
    QString serialNumber;
    // The links under /dev/serial/by-id that lead to it (Linux): named after the adapter's maker,
    // product and serial number, they stay the same when the adapter is plugged in again, where
    // its ttyUSB number may change.
    QStringList stableNames;
};

// The folder of the stable names: /dev/serial/by-id on Linux, empty elsewhere.
QString stableNamesFolder();

// Every serial device the system lists now, in the order of their paths (ttyS2 before ttyS10).
QList<Device> present();

// The listed device that path leads to; nothing for a device the system does not list, such as
// a pseudo-terminal.
std::optional<Device> find(const QString& path);

// The device a path leads to, links followed; the path itself when it leads nowhere (a missing
// device, a Windows port name), so that two names of one device compare equal.
QString realPath(const QString& path);

// Whether the device is there, without opening it: on Windows, whether the system lists the port.
bool exists(const QString& path);

enum class Fitness {
    Usable,    // exists and is a terminal line, or cannot be opened to tell (in use, forbidden)
    Missing,   // no such device
    NotSerial, // a folder, a plain file or a device that is no terminal line (/dev/null)
};
// Whether a path can stand for a serial port; on Windows, whether the system lists the port.
Fitness fitness(const QString& path);

} // namespace SerialDevices
