#include "dialogs/PortToolTip.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSerialPortInfo>
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

// A mapped name is often a stable symlink (/dev/serial/by-id/...); the port list names the
// device node it points to.
static QString resolved(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

QString forDevice(const QString& device)
{
    Adapter adapter;
    const QString target = resolved(device);
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        if (resolved(info.systemLocation()) == target) {
            adapter = {info.description(), info.manufacturer(), info.serialNumber()};
            break;
        }
    }
    return text(device, adapter);
}

} // namespace PortToolTip
