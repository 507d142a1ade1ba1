#include "link/PortAddress.h"

#include "link/ComPorts.h"
#include "platform/TextRoutines.h"

#include <QDir>
#include <QRegularExpression>
#include <tuple>

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// "HOST:PORT" or "[IPv6]:PORT", with a port from 1 to 65535.
bool splitHostPort(const QString& rest, PortAddress* address)
{
    QString host;
    QString port;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close > 1 && rest.mid(close + 1, 1) == QStringLiteral(":")) {
            host = rest.mid(1, close - 1);
            port = rest.mid(close + 2);
        }
    } else if (const qsizetype colon = rest.lastIndexOf(u':'); colon > 0) {
        host = rest.left(colon);
        port = rest.mid(colon + 1);
    }
    bool ok = false;
    const uint number = port.toUInt(&ok, 10);
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (host.isEmpty() || host.contains(u' ') || !digits.match(port).hasMatch() || !ok ||
        number < 1 || number > 65535)
        return false;
    address->host = host;
    address->tcpPort = quint16(number);
    return true;
}

} // namespace

QString PortAddress::deviceExample()
{
#ifdef Q_OS_UNIX
    return QStringLiteral("/dev/ttyUSB0");
#else
    return QStringLiteral("\\\\.\\COM10");
#endif
}

namespace {
PortAddress networkAddress(PortAddress::Kind kind, const QString& scheme, const QString& host,
                           quint16 port)
{
    PortAddress address;
    address.kind = kind;
    address.host = host;
    address.tcpPort = port;
    address.text = QStringLiteral("%1%2:%3").arg(scheme, host, QString::number(port));
    return address;
}
} // namespace

PortAddress PortAddress::com(int number)
{
    PortAddress address;
    address.kind = Kind::Com;
    address.comNumber = number;
    address.text = QStringLiteral("COM") + QString::number(number);
    return address;
}

PortAddress PortAddress::rfc2217(const QString& host, quint16 port)
{
    return networkAddress(Kind::Rfc2217, QStringLiteral("rfc2217://"), host, port);
}

PortAddress PortAddress::tcp(const QString& host, quint16 port)
{
    return networkAddress(Kind::Tcp, QStringLiteral("tcp:"), host, port);
}

PortAddress PortAddress::tls(const QString& host, quint16 port)
{
    return networkAddress(Kind::Tls, QStringLiteral("tls:"), host, port);
}

PortAddress PortAddress::rfc2217Tls(const QString& host, quint16 port)
{
    return networkAddress(Kind::Rfc2217Tls, QStringLiteral("rfc2217+tls://"), host, port);
}

PortAddress PortAddress::withHost(const QString& newHost) const
{
    switch (kind) {
    case Kind::Com:
    case Kind::Device:
        break;
    case Kind::Tcp:
        return tcp(newHost, tcpPort);
    case Kind::Rfc2217:
        return rfc2217(newHost, tcpPort);
    case Kind::Tls:
        return tls(newHost, tcpPort);
    case Kind::Rfc2217Tls:
        return rfc2217Tls(newHost, tcpPort);
    }
    return *this;
}

std::optional<PortAddress> PortAddress::parse(const QString& given, QString* error)
{
    const QString text = given.trimmed();
    PortAddress address;
    address.text = text;
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = com.match(text); match.hasMatch()) {
        const int number = match.captured(1).toInt();
        if (number < 1 || number > ComPorts::kCount) {
            setError(error,
                     QStringLiteral("there is no port %1: the COM ports are COM1 to COM%2; "
                                    "give the device path of any other")
                         .arg(TextRoutines::cutText(text), QString::number(ComPorts::kCount)));
            return std::nullopt;
        }
        address.kind = PortAddress::Kind::Com;
        address.comNumber = number;
        return address;
    }
    for (const auto& [prefix, kind, form] :
         {std::tuple{QStringLiteral("tcp:"), Kind::Tcp, QStringLiteral("tcp:HOST:PORT")},
          std::tuple{QStringLiteral("rfc2217://"), Kind::Rfc2217,
                     QStringLiteral("rfc2217://HOST:PORT")},
          std::tuple{QStringLiteral("tls:"), Kind::Tls, QStringLiteral("tls:HOST:PORT")},
          std::tuple{QStringLiteral("rfc2217+tls://"), Kind::Rfc2217Tls,
                     QStringLiteral("rfc2217+tls://HOST:PORT")}}) {
        if (!text.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        if (!splitHostPort(text.mid(prefix.size()), &address)) {
            setError(error, QStringLiteral("'%1' is no TCP/IP endpoint: give %2 with a port from 1 "
                                           "to 65535, such as %3")
                                .arg(TextRoutines::cutText(text), form,
                                     prefix + QStringLiteral("192.168.1.50:4001")));
            return std::nullopt;
        }
        address.kind = kind;
        return address;
    }
    if (!text.isEmpty() && QDir::isAbsolutePath(text)) {
        address.kind = PortAddress::Kind::Device;
        address.device = text;
        return address;
    }
    const QString choices =
        QStringLiteral("give COM1 to COM8, a device path such as %1, tcp:HOST:PORT, "
                       "rfc2217://HOST:PORT, tls:HOST:PORT or rfc2217+tls://HOST:PORT")
            .arg(deviceExample());
    setError(error,
             text.isEmpty()
                 ? QStringLiteral("no port given: ") + choices
                 : QStringLiteral("'%1' is no port: %2").arg(TextRoutines::cutText(text), choices));
    return std::nullopt;
}
