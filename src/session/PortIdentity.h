#pragma once

#include "link/ComPorts.h"
#include "link/PortAddress.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QStringList>

// What a port address reaches, so that two spellings of one indicator are known as one: the real
// device behind a serial port (COM k through the settings' [PortNames], links followed), and each
// address a TCP/IP host resolves to, with the port.
class PortIdentity {
public:
    explicit PortIdentity(const ComPorts& ports);

    // Looks up every host name among the addresses at once and waits for the answers; meant for
    // before anything else runs. An address written as numbers needs no look-up.
    void lookUpHosts(const QList<PortAddress>& addresses);
    // Where the address leads, as the messages show it ("/dev/ttyUSB0", "127.0.0.1:4001"); two
    // addresses that share an entry reach the same indicator. A host that was not looked up or
    // not found stands for itself.
    QStringList of(const PortAddress& address) const;

private:
    ComPorts m_ports;
    QHash<QString, QList<QHostAddress>> m_hosts; // by lower-case name
};
