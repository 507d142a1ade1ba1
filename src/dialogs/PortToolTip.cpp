#include "dialogs/PortToolTip.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

namespace PortToolTip {

QString text(const QString& device, const Adapter& adapter)
{
    QStringList lines{QStringLiteral("Device: ") + device};
    const auto addLine = [&lines](const char* label, const QString& value) {
        if (!value.trimmed().isEmpty())
            lines.append(QLatin1String(label) + value.trimmed());
    };
    addLine("Adapter: ", adapter.description);
    addLine("Manufacturer: ", adapter.manufacturer);
    addLine("Serial number: ", adapter.serialNumber);
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
