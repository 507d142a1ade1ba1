#include "link/ChannelFactory.h"

#include "platform/Rfc2217Channel.h"
#include "platform/SerialChannel.h"
#include "platform/TcpChannel.h"
#include "platform/TlsChannel.h"

namespace ChannelFactory {

namespace {
std::unique_ptr<LineChannel> serial(const QString& device, int comNumber, const ComPorts& ports,
                                    QObject* parent)
{
    auto channel = std::make_unique<SerialChannel>(device, comNumber, parent);
    channel->setLowLatency(ports.lowLatency);
    return channel;
}
} // namespace

std::unique_ptr<LineChannel> make(const PortAddress& address, const ComPorts& ports,
                                  const TlsTrust& trust, QObject* parent)
{
    switch (address.kind) {
    case PortAddress::Kind::Com:
        return serial(ports.device(address.comNumber), address.comNumber, ports, parent);
    case PortAddress::Kind::Device:
        return serial(address.device, 0, ports, parent);
    case PortAddress::Kind::Tcp:
        return std::make_unique<TcpChannel>(address.host, address.tcpPort, parent);
    case PortAddress::Kind::Rfc2217:
        return std::make_unique<Rfc2217Channel>(
            std::make_unique<TcpChannel>(address.host, address.tcpPort), parent);
    case PortAddress::Kind::Tls:
        return std::make_unique<TlsChannel>(address.host, address.tcpPort, trust, parent);
    case PortAddress::Kind::Rfc2217Tls:
        break;
    }
    return std::make_unique<Rfc2217Channel>(
        std::make_unique<TlsChannel>(address.host, address.tcpPort, trust), parent);
}

} // namespace ChannelFactory
