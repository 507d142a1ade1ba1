#include "app/ChannelPanels.h"

#include "platform/TextRoutines.h"
#include "session/ChannelManager.h"

namespace ChannelPanels {

namespace {
const QString kTcpText = QStringLiteral("TCP/IP");

// "COM  3": "COM " and the number as the boxes write numbers.
QString comPortText(int comNumber)
{
    return QStringLiteral("COM ") + TextRoutines::numberText(comNumber);
}
} // namespace

Texts inForce(const ChannelManager& channels)
{
    if (channels.isTcpMode())
        return {kTcpText, channels.tcpClient().remoteHost()};
    return {comPortText(channels.serialPort().commPort()), channels.serialPort().settings()};
}

Texts choosePort(ChannelManager& channels, int channelCode)
{
    const bool changed = channels.choosePort(channelCode);
    if (channelCode != ChannelManager::kTcpChannel)
        return {comPortText(channelCode), std::nullopt};
    if (changed)
        return {kTcpText, QString()};
    return {};
}

Texts chooseRate(ChannelManager& channels, int rate)
{
    channels.chooseRate(rate);
    return {std::nullopt, SerialPort::lineSettings(rate)};
}

Texts chooseHost(ChannelManager& channels, const QString& host)
{
    channels.chooseHost(host);
    return {std::nullopt, host};
}

int rateForDialog(ChannelManager& channels)
{
    SerialPort& port = channels.serialPort();
    // The rate text must be one of the six as it stands: " 9600" is none of them.
    const QString inForce = port.rateText();
    for (const int rate : ChannelSettings::kBaudRates) {
        if (QString::number(rate) == inForce)
            return rate;
    }
    port.setSettings(SerialPort::lineSettings(kDialogFallbackRate));
    return kDialogFallbackRate;
}

} // namespace ChannelPanels
