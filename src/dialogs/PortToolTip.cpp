#include "dialogs/PortToolTip.h"

#include "platform/SerialDevices.h"

#include <QCoreApplication>
#include <QStringList>

namespace PortToolTip {

QString text(const QString& device, const Adapter& adapter)
{
    QStringList lines{QCoreApplication::translate("PortToolTip", "Device: %1").arg(device)};
    const auto addLine = [&lines](const QString& line, const QString& value) {
        if (!value.trimmed().isEmpty())
            lines.append(line.arg(value.trimmed()));
    };
    addLine(QCoreApplication::translate("PortToolTip", "Adapter: %1"), adapter.description);
    addLine(QCoreApplication::translate("PortToolTip", "Manufacturer: %1"), adapter.manufacturer);
    addLine(QCoreApplication::translate("PortToolTip", "Serial number: %1"), adapter.serialNumber);
    return lines.join(u'\n');
}

QString forDevice(const QString& device)
{
    // A mapped name is often a stable link (/dev/serial/by-id/...): it finds the device it
    // leads to.
    Adapter adapter;
    if (const auto listed = SerialDevices::find(device))
        adapter = {listed->description, listed->manufacturer, listed->serialNumber};
    return text(device, adapter);
}

} // namespace PortToolTip
