#include "cli/PortsCommand.h"

#include "cli/Console.h"
#include "cli/JsonLine.h"
#include "link/ComPorts.h"
#include "platform/SerialDevices.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "platform/TextRoutines.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace Cli {

namespace {

const QString kErrorPrefix = QStringLiteral("ticket-talvor-cli: ports: ");

// What the settings file says of one COM port.
struct ComPort {
    int number = 0;
    QString device;
    bool mapped = false; // named in [PortNames]; otherwise the system's own name
    QString realDevice;  // where the device leads, links followed
    bool present = false;
};

QList<ComPort> comPorts(const SettingsStore& store)
{
    const ComPorts ports = ComPorts::fromSettings(store);
    QList<ComPort> list;
    for (int k = 1; k <= ComPorts::kCount; ++k) {
        ComPort port;
        port.number = k;
        port.device = ports.device(k);
        port.mapped =
            !store.readValue(SettingsKeys::kPortNamesSection, SettingsKeys::comKey(k)).isEmpty();
        port.realDevice = SerialDevices::realPath(port.device);
        // Only looked for: opening a port to tell more may reset what hangs on its lines.
        port.present = SerialDevices::exists(port.device);
        list.append(port);
    }
    return list;
}

// The COM ports that lead to a device.
QList<int> comNumbersOf(const SerialDevices::Device& device, const QList<ComPort>& ports)
{
    const QString target = SerialDevices::realPath(device.path);
    QList<int> numbers;
    for (const ComPort& port : ports) {
        if (port.realDevice == target)
            numbers.append(port.number);
    }
    return numbers;
}

QString comText(const QList<int>& numbers)
{
    if (numbers.isEmpty())
        return QStringLiteral("no COM port");
    QStringList words;
    for (int k : numbers)
        words.append(SettingsKeys::comKey(k));
    return words.join(QStringLiteral(", "));
}

void printList(const QList<SerialDevices::Device>& devices, const QList<ComPort>& ports,
               const QString& settingsPath, Console& console)
{
    console.output(QStringLiteral("Serial devices on this computer:"));
    if (devices.isEmpty())
        console.output(QStringLiteral("  none listed by the system"));
    qsizetype width = 0;
    for (const SerialDevices::Device& device : devices)
        width = std::max(width, device.path.size());
    for (const SerialDevices::Device& device : devices) {
        console.output(
            QStringLiteral("  %1  %2")
                .arg(device.path.leftJustified(width), comText(comNumbersOf(device, ports))));
        const auto detail = [&console](const QString& label, const QString& value) {
            if (!value.isEmpty())
                console.output(QStringLiteral("    %1: %2").arg(label, value));
        };
        detail(QStringLiteral("adapter"), device.description);
        detail(QStringLiteral("maker"), device.manufacturer);
        detail(QStringLiteral("serial number"), device.serialNumber);
        for (const QString& name : device.stableNames)
            detail(QStringLiteral("stable name"), name);
    }
    console.output(QStringLiteral("COM ports of the window, from %1:").arg(settingsPath));
    for (const ComPort& port : ports) {
        QString line =
            QStringLiteral("  %1  %2").arg(SettingsKeys::comKey(port.number), port.device);
        if (port.present && port.realDevice != port.device)
            line += QStringLiteral(" -> ") + port.realDevice;
        QStringList notes;
        if (!port.mapped)
            notes.append(QStringLiteral("not in [PortNames]"));
        if (!port.present)
            notes.append(QStringLiteral("no such device"));
        if (!notes.isEmpty())
            line += QStringLiteral("  (%1)").arg(notes.join(QStringLiteral(", ")));
        console.output(line);
    }
}

QJsonObject listJson(const QList<SerialDevices::Device>& devices, const QList<ComPort>& ports,
                     const QString& settingsPath)
{
    QJsonArray deviceArray;
    for (const SerialDevices::Device& device : devices) {
        QJsonArray numbers;
        for (int k : comNumbersOf(device, ports))
            numbers.append(k);
        deviceArray.append(QJsonObject{
            {QStringLiteral("device"), device.path},
            {QStringLiteral("description"), device.description},
            {QStringLiteral("manufacturer"), device.manufacturer},
            {QStringLiteral("serialNumber"), device.serialNumber},
            {QStringLiteral("stableNames"), QJsonArray::fromStringList(device.stableNames)},
            {QStringLiteral("com"), numbers},
        });
    }
    QJsonArray portArray;
    for (const ComPort& port : ports) {
        portArray.append(QJsonObject{
            {QStringLiteral("com"), port.number},
            {QStringLiteral("device"), port.device},
            {QStringLiteral("mapped"), port.mapped},
            {QStringLiteral("realDevice"), port.realDevice},
            {QStringLiteral("present"), port.present},
        });
    }
    return {{QStringLiteral("settings"), settingsPath},
            {QStringLiteral("devices"), deviceArray},
            {QStringLiteral("comPorts"), portArray}};
}

// Why the device cannot stand behind a COM port; empty when it can.
QString deviceFault(const QString& device)
{
#ifdef Q_OS_UNIX
    // The window opens it from wherever it was started.
    if (!QDir::isAbsolutePath(device))
        return QStringLiteral(
                   "give the device's full path, such as %1, not '%2'; nothing was written.")
            .arg(PortAddress::deviceExample(), TextRoutines::cutText(device));
#endif
    if (!SettingsStore::keeps(device))
        return QStringLiteral("the settings file cannot keep the device name '%1': it holds up "
                              "to %2 characters of Latin-1, without quotes around them; nothing "
                              "was written.")
            .arg(TextRoutines::cutText(device), QString::number(SettingsStore::kMaxValueLength));
    switch (SerialDevices::fitness(device)) {
    case SerialDevices::Fitness::Usable:
        break;
    case SerialDevices::Fitness::Missing:
        return QStringLiteral("there is no device %1; nothing was written. Plug in the adapter, "
                              "or run 'ticket-talvor-cli ports' to see the devices there are.")
            .arg(TextRoutines::cutText(device));
    case SerialDevices::Fitness::NotSerial:
        return QStringLiteral("%1 is not a serial device; nothing was written.")
            .arg(TextRoutines::cutText(device));
    }
    return {};
}

ExitCode map(const Command& command, const SettingsStore& store, Console& console)
{
    if (const QString fault = deviceFault(command.mapDevice); !fault.isEmpty()) {
        console.message(kErrorPrefix, fault);
        return ExitUsage;
    }
    const QString key = SettingsKeys::comKey(command.mapCom);
    store.writeValue(SettingsKeys::kPortNamesSection, key, command.mapDevice);
    // The store says nothing of a failed write; what it reads back does.
    if (store.readValue(SettingsKeys::kPortNamesSection, key) != command.mapDevice) {
        console.message(
            kErrorPrefix,
            QStringLiteral("%1 could not be written; it is as it was.").arg(store.path()));
        return ExitUsage;
    }
    if (command.json)
        console.outputExact(jsonLine({{QStringLiteral("settings"), store.path()},
                                      {QStringLiteral("com"), command.mapCom},
                                      {QStringLiteral("device"), command.mapDevice}}));
    else
        console.output(QStringLiteral("%1 is %2 in %3; the window offers it from its next start.")
                           .arg(key, command.mapDevice, store.path()));
    return ExitStored;
}

} // namespace

ExitCode runPorts(const Command& command, const QString& settingsPath, Console& console)
{
    const SettingsStore store(settingsPath);
    if (command.mapCom != 0)
        return map(command, store, console);
    const QList<SerialDevices::Device> devices = SerialDevices::present();
    const QList<ComPort> ports = comPorts(store);
    if (command.json)
        console.outputExact(jsonLine(listJson(devices, ports, settingsPath)));
    else
        printList(devices, ports, settingsPath, console);
    return ExitStored;
}

} // namespace Cli
