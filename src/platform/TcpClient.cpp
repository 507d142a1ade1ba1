#include "platform/TcpClient.h"

TcpClient::TcpClient(QObject* parent)
    : LineChannel(parent)
{
    // Commands are small and each waits for its reply: send them at once.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        const QByteArray bytes = m_socket.readAll();
        if (!bytes.isEmpty())
            emit bytesReceived(bytes);
    });
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit connected();
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &TcpClient::onErrorOccurred);
    connect(&m_socket, &QTcpSocket::disconnected, this, &TcpClient::onDisconnected);
}

TcpClient::~TcpClient()
{
    m_closing = true;
    m_socket.abort();
}

void TcpClient::connectToIndicator()
{
    m_closing = false;
    m_socket.abort();
    m_socket.connectToHost(m_remoteHost, static_cast<quint16>(m_remotePort));
}

void TcpClient::close()
{
    m_closing = true;
    m_socket.abort();
    m_closing = false;
}

bool TcpClient::isConnected() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

bool TcpClient::writeBytes(const QByteArray& bytes)
{
    if (!isConnected())
        return false;
    if (m_socket.write(bytes) != bytes.size())
        return false;
    // Sent now rather than on the next pass of the event loop.
    m_socket.flush();
    return true;
}

QString TcpClient::channelName() const
{
    return QStringLiteral("%1:%2").arg(m_remoteHost, QString::number(m_remotePort));
}

int TcpClient::errorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::RemoteHostClosedError:
        return 10053;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::NetworkError:
        return 10050;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10045;
    case QAbstractSocket::UnknownSocketError:
        return -1;
    default:
        // No Windows Sockets counterpart: a number of our own, clear of theirs.
        return 12000 + static_cast<int>(error);
    }
}

void TcpClient::onErrorOccurred(QAbstractSocket::SocketError error)
{
    if (m_closing)
        return;
    // A peer that closes is not a failure of the socket; it is reported through disconnected().
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    const bool wasConnected = m_socket.state() == QAbstractSocket::ConnectedState;
    const QString description = m_socket.errorString();
    emit errorOccurred(errorNumber(error), description);
    if (wasConnected && !m_closing) {
        m_closing = true;
        m_socket.abort();
        m_closing = false;
        emit channelLost(description);
    }
}

void TcpClient::onDisconnected()
{
    if (m_closing)
        return;
    emit channelLost(tr("The indicator closed the connection."));
}
