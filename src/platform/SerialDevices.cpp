#include "platform/SerialDevices.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace SerialDevices {

namespace {

// The stable names' links, by the device each leads to.
QHash<QString, QStringList> stableNamesByDevice()
{
    QHash<QString, QStringList> names;
    const QString folderPath = stableNamesFolder();
    if (folderPath.isEmpty())
        return names;
    // udev makes the folder when the first USB serial adapter appears; without one it is absent.
    const QDir folder(folderPath);
    const QFileInfoList links =
        folder.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty())
            names[target].append(link.absoluteFilePath());
    }
    return names;
}

bool samePath(const QString& a, const QString& b)
{
#ifdef Q_OS_WIN
    return a.compare(b, Qt::CaseInsensitive) == 0; // COM3 and com3 are one port
#else
    return a == b;
#endif
}

} // namespace

QString stableNamesFolder()
{
#ifdef Q_OS_LINUX
    return QStringLiteral("/dev/serial/by-id");
#else
    return {};
#endif
}

QString realPath(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

QList<Device> present()
{
    const QHash<QString, QStringList> stableNames = stableNamesByDevice();
    QList<Device> devices;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        Device device;
#ifdef Q_OS_WIN
        device.path = info.portName();
#else
        device.path = info.systemLocation();
#endif
        device.description = info.description().trimmed();
        device.manufacturer = info.manufacturer().trimmed();
        device.serialNumber = info.serialNumber().trimmed();
        device.stableNames = stableNames.value(realPath(device.path));
        devices.append(device);
    }
    QCollator order;
    order.setNumericMode(true);
    std::sort(devices.begin(), devices.end(), [&order](const Device& a, const Device& b) {
        return order.compare(a.path, b.path) < 0;
    });
    return devices;
}

std::optional<Device> find(const QString& path)
{
    const QString target = realPath(path);
    const QList<Device> devices = present();
    for (const Device& device : devices) {
        if (samePath(realPath(device.path), target))
            return device;
    }
    return std::nullopt;
}

bool exists(const QString& path)
{
#ifdef Q_OS_WIN
    // Windows port names are no files: the system's list is the only witness.
    return find(path).has_value();
#else
    return QFileInfo::exists(path);
#endif
}

Fitness fitness(const QString& path)
{
    if (!exists(path))
        return Fitness::Missing;
#ifdef Q_OS_UNIX
    const QFileInfo info(path);
    if (info.isDir() || info.isFile())
        return Fitness::NotSerial;
    // A device that cannot be opened now (in use, forbidden) is no proof against it.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Fitness::Usable;
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal ? Fitness::Usable : Fitness::NotSerial;
#else
    return Fitness::Usable;
#endif
}

} // namespace SerialDevices
