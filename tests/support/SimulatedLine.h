#pragma once

#include "IndicatorSimulator.h"
#include "platform/SerialPort.h"
#include "platform/TcpClient.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

// The real channel to the simulated indicator: the serial port on its pseudo-terminal, or the
// TCP client on its port of 127.0.0.1, open and usable; nothing, and *error, when it is not.
inline std::unique_ptr<LineChannel> openSimulatedLine(sim::IndicatorSimulator& indicator, bool tcp,
                                                      QString* error)
{
    if (!tcp) {
        if (!indicator.startPty(error))
            return nullptr;
        auto port = std::make_unique<SerialPort>();
        port->setPortName(1, indicator.ptyPath());
        if (const int code = port->setPortOpen(true); code != SerialPort::kNoError) {
            *error = QStringLiteral("cannot open %1: error %2").arg(indicator.ptyPath()).arg(code);
            return nullptr;
        }
        return port;
    }
    if (!indicator.startTcp(0, error))
        return nullptr;
    auto client = std::make_unique<TcpClient>();
    QSignalSpy connected(client.get(), &TcpClient::connected);
    client->setRemoteHost(QStringLiteral("127.0.0.1"));
    client->setRemotePort(indicator.tcpPort());
    client->connectToIndicator();
    if (!QTest::qWaitFor([&] { return !connected.isEmpty(); }, 5000)) {
        *error = QStringLiteral("cannot connect to 127.0.0.1:%1").arg(indicator.tcpPort());
        return nullptr;
    }
    return client;
}
