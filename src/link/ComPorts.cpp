#include "link/ComPorts.h"

#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"

ComPorts::ComPorts()
{
    for (int k = 1; k <= kCount; ++k)
        devices[k - 1] = systemDevice(k);
}

ComPorts ComPorts::fromSettings(const SettingsStore& settings)
{
    ComPorts ports;
    for (int k = 1; k <= kCount; ++k) {
        const QString device =
            settings.readValue(SettingsKeys::kPortNamesSection, SettingsKeys::comKey(k));
        if (!device.isEmpty())
            ports.devices[k - 1] = device;
    }
    ports.lowLatency =
        settings.readValue(SettingsKeys::kSerialPortSection, SettingsKeys::kLowLatency) !=
        SettingsKeys::kLowLatencyOff;
    return ports;
}

QString ComPorts::systemDevice(int comNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM") + QString::number(comNumber);
#else
    // The numbering Wine uses, so COM 1 is the first on-board port.
    return QStringLiteral("/dev/ttyS") + QString::number(comNumber - 1);
#endif
}

QString ComPorts::device(int comNumber) const
{
    return isComNumber(comNumber) ? devices[comNumber - 1] : QString();
}
