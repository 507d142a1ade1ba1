#pragma once

#include "IndicatorSimulator.h"
#include "link/ChannelFactory.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

// The real channel to the simulated indicator: the serial port on its pseudo-terminal, or the
// TCP channel on its port of 127.0.0.1, open and usable; nothing, and *error, when it is not.
inline std::unique_ptr<LineChannel> openSimulatedLine(sim::IndicatorSimulator& indicator, bool tcp,
                                                      QString* error)
{
    if (!(tcp ? indicator.startTcp(0, error) : indicator.startPty(error)))
        return nullptr;
    const PortAddress address =
        tcp ? PortAddress::tcp(QStringLiteral("127.0.0.1"), indicator.tcpPort())
            : *PortAddress::parse(indicator.ptyPath(), error);
    auto channel = ChannelFactory::make(address, ComPorts());
    QSignalSpy failed(channel.get(), &LineChannel::failed);
    channel->open();
    if (!QTest::qWaitFor([&] { return channel->isUsable() || !failed.isEmpty(); }, 5000) ||
        !channel->isUsable()) {
        const QString failure = failed.isEmpty()
                                    ? QStringLiteral("no answer")
                                    : failed.first().first().value<ChannelFailure>().detail;
        *error = QStringLiteral("cannot open %1: %2").arg(address.text, failure);
        return nullptr;
    }
    return channel;
}
