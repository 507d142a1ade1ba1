#pragma once

#include <QString>

// What an operator needs to recognise a COM option's device, such as "the FTDI cable".
namespace PortToolTip {

struct Adapter {
    QString description;
    QString manufacturer;
    QString serialNumber;
};

// The device path, then each of the adapter's details that is known, one per line.
QString text(const QString& device, const Adapter& adapter);

// The same for a device path, with the details the system's serial port list has for it.
QString forDevice(const QString& device);

} // namespace PortToolTip
