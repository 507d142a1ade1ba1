#include "platform/TcpChannel.h"

TcpChannel::TcpChannel(const QString& host, quint16 port, QObject* parent)
    : TcpChannel(host, port, std::make_unique<QTcpSocket>(), parent)
{
}

TcpChannel::TcpChannel(const QString& host, quint16 port, std::unique_ptr<QTcpSocket> socket,
                       QObject* parent)
    : LineChannel(parent)
    , m_socket(std::move(socket))
    , m_host(host)
    , m_port(port)
{
    connect(m_socket.get(), &QTcpSocket::readyRead, this, [this] {
        const QByteArray bytes = m_socket->readAll();
        if (!bytes.isEmpty() && state() == State::Open)
            emit bytesReceived(bytes);
    });
    connect(m_socket.get(), &QTcpSocket::connected, this, [this] {
        // Commands are small and each waits for its reply: send them at once.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (state() == State::Opening)
            onConnected();
    });
    connect(m_socket.get(), &QTcpSocket::errorOccurred, this, &TcpChannel::onErrorOccurred);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &TcpChannel::onDisconnected);
}

void TcpChannel::onConnected()
{
    setState(State::Open);
}

TcpChannel::~TcpChannel()
{
    // Whoever listens may be going too; what the abort reports is our own doing anyway.
    blockSignals(true);
    close();
}

void TcpChannel::open()
{
    if (state() != State::Closed)
        return;
    setState(State::Opening);
    m_socket->connectToHost(m_host, m_port);
}

void TcpChannel::close()
{
    setState(State::Closed);
    m_socket->abort();
}

bool TcpChannel::writeBytes(const QByteArray& bytes)
{
    if (state() != State::Open)
        return false;
    if (m_socket->write(bytes) != bytes.size())
        return false;
    // Sent now rather than on the next pass of the event loop.
    m_socket->flush();
    return true;
}

QString TcpChannel::channelName() const
{
    return QStringLiteral("%1:%2").arg(m_host, QString::number(m_port));
}

int TcpChannel::errorNumber(QAbstractSocket::SocketError error)
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

ChannelFailure TcpChannel::failureOf(QAbstractSocket::SocketError error) const
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return ChannelFailure::of(ChannelFailure::Kind::PeerClosed, 0,
                                  tr("The indicator closed the connection."));
    return ChannelFailure::of(ChannelFailure::Kind::SocketError, errorNumber(error),
                              m_socket->errorString());
}

void TcpChannel::onErrorOccurred(QAbstractSocket::SocketError error)
{
    // A peer that closes is not a failure of the socket; it is reported through disconnected().
    if (state() == State::Closed || error == QAbstractSocket::RemoteHostClosedError)
        return;
    end(error);
}

void TcpChannel::onDisconnected()
{
    if (state() == State::Closed)
        return;
    end(QAbstractSocket::RemoteHostClosedError);
}

void TcpChannel::end(QAbstractSocket::SocketError error)
{
    const ChannelFailure failure = failureOf(error);
    close();
    fail(failure);
}
