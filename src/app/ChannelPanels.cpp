#include "app/ChannelPanels.h"

#include "platform/TextRoutines.h"
#include "session/ChannelManager.h"

namespace ChannelPanels {

namespace {
const QString kTcpText = QStringLiteral("TCP/IP");
const QString kRfc2217Text = QStringLiteral("RFC 2217");

// A device server's line: where it is and how its line is set, "10.0.0.7:4001 9600,n,8,1".
QString deviceServerText(const IndicatorSession& session)
{
    const PortAddress& address = session.address();
    return QStringLiteral("%1:%2 %3")
        .arg(address.host, QString::number(address.tcpPort),
             SerialPort::lineSettings(session.lineRate()));
}

// "COM  3": "COM " and the number as the boxes write numbers.
QString comPortText(int comNumber)
{
    return QStringLiteral("COM ") + TextRoutines::numberText(comNumber);
}
} // namespace

Texts inForce(ChannelManager& channels)
{
    if (channels.isTcpMode())
        return {kTcpText, channels.tcpClient().remoteHost()};
    if (channels.isRfc2217Mode())
        return {kRfc2217Text, deviceServerText(channels.session())};
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
    if (channels.isRfc2217Mode())
        return {std::nullopt, deviceServerText(channels.session())};
    return {std::nullopt, SerialPort::lineSettings(rate)};
}

Texts chooseHost(ChannelManager& channels, const QString& host)
{
    channels.chooseHost(host);
    return {std::nullopt, host};
}

int rateForDialog(ChannelManager& channels)
{
    // A device server's rate is one of the six already: it was asked for by this program.
    if (channels.isRfc2217Mode())
        return channels.session().lineRate();
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
