#include "session/PortIdentity.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHostInfo>
#include <QSet>

namespace {

QString realDevice(const QString& device)
{
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(device) : canonical;
}

// 127.0.0.1 and ::ffff:127.0.0.1 are one address.
QString addressText(const QHostAddress& address, quint16 port)
{
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4);
    if (v4)
        return QStringLiteral("%1:%2").arg(QHostAddress(ipv4).toString(), QString::number(port));
    return QStringLiteral("[%1]:%2").arg(address.toString(), QString::number(port));
}

} // namespace

PortIdentity::PortIdentity(const ComPorts& ports)
    : m_ports(ports)
{
}

void PortIdentity::lookUpHosts(const QList<PortAddress>& addresses)
{
    QSet<QString> names;
    for (const PortAddress& address : addresses) {
        if (address.isNetwork() && QHostAddress(address.host).isNull())
            names.insert(address.host.toLower());
    }
    if (names.isEmpty())
        return;
    // Nothing else runs yet, so waiting here holds up no other work.
    QEventLoop loop;
    qsizetype pending = names.size();
    for (const QString& name : std::as_const(names)) {
        QHostInfo::lookupHost(name, &loop, [this, name, &pending, &loop](const QHostInfo& info) {
            m_hosts.insert(name, info.addresses());
            if (--pending == 0)
                loop.quit();
        });
    }
    loop.exec();
}

QStringList PortIdentity::of(const PortAddress& address) const
{
    switch (address.kind) {
    case PortAddress::Kind::Com:
        return {realDevice(m_ports.device(address.comNumber))};
    case PortAddress::Kind::Device:
        return {realDevice(address.device)};
    case PortAddress::Kind::Tcp:
    case PortAddress::Kind::Rfc2217:
    case PortAddress::Kind::Tls:
    case PortAddress::Kind::Rfc2217Tls:
        break;
    }
    // A device server's port is one port whether spoken to raw or through RFC 2217.
    QList<QHostAddress> hosts{QHostAddress(address.host)};
    if (hosts.first().isNull())
        hosts = m_hosts.value(address.host.toLower());
    QStringList places;
    for (const QHostAddress& host : std::as_const(hosts))
        places.append(addressText(host, address.tcpPort));
    if (places.isEmpty())
        places.append(
            QStringLiteral("%1:%2").arg(address.host.toLower(), QString::number(address.tcpPort)));
    return places;
}
