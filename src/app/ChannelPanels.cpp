#include "app/ChannelPanels.h"

#include "platform/TextRoutines.h"
#include "session/WindowChannelSettings.h"

namespace ChannelPanels {

namespace {
const QString kTcpText = QStringLiteral("TCP/IP");
const QString kRfc2217Text = QStringLiteral("RFC 2217");
const QString kTlsText = QStringLiteral("TLS");

// "10.0.0.7:4001".
QString endpointText(const PortAddress& address)
{
    return QStringLiteral("%1:%2").arg(address.host, QString::number(address.tcpPort));
}

// A device server's line: where it is and how its line is set, "10.0.0.7:4001 9600,n,8,1".
QString deviceServerText(const IndicatorSession& session)
{
    return endpointText(session.address()) + u' ' + LineSettings::at(session.lineRate()).text();
}

// "COM  3": "COM " and the number as the boxes write numbers.
QString comPortText(int comNumber)
{
    return QStringLiteral("COM ") + TextRoutines::numberText(comNumber);
}
} // namespace

Texts inForce(const WindowChannelSettings& channels)
{
    const IndicatorSession& session = channels.session();
    const PortAddress& address = session.address();
    switch (address.kind) {
    case PortAddress::Kind::Tcp:
        return {kTcpText, channels.inForce().host};
    case PortAddress::Kind::Rfc2217:
        return {kRfc2217Text, deviceServerText(session)};
    case PortAddress::Kind::Tls:
        return {kTlsText, endpointText(address)};
    case PortAddress::Kind::Rfc2217Tls:
        return {kTlsText, deviceServerText(session)};
    case PortAddress::Kind::Com:
    case PortAddress::Kind::Device:
        break;
    }
    return {comPortText(address.comNumber), session.lineSettings().text()};
}

Texts choosePort(WindowChannelSettings& channels, ChannelSettings::Choice choice)
{
    const bool changed = channels.choosePort(choice);
    if (!choice.isNetwork())
        return {comPortText(choice.comNumber), std::nullopt};
    if (changed)
        return {kTcpText, QString()};
    return {};
}

Texts chooseRate(WindowChannelSettings& channels, int rate)
{
    channels.chooseRate(rate);
    if (channels.session().address().isNetwork())
        return {std::nullopt, deviceServerText(channels.session())};
    return {std::nullopt, LineSettings::at(rate).text()};
}

Texts chooseHost(WindowChannelSettings& channels, const QString& host)
{
    channels.chooseHost(host);
    return {std::nullopt, inForce(channels).line};
}

} // namespace ChannelPanels
