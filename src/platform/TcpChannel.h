#pragma once

#include "platform/LineChannel.h"

#include <QTcpSocket>
#include <memory>

// The TCP/IP channel: a client connection to the indicator's endpoint, or to a device server
// that another channel speaks through.
class TcpChannel : public LineChannel {
    Q_OBJECT
public:
    TcpChannel(const QString& host, quint16 port, QObject* parent = nullptr);
    ~TcpChannel() override;

    const QString& host() const { return m_host; }
    quint16 port() const { return m_port; }

    // The number an operator can look up: the Windows Sockets code of the failure.
    static int errorNumber(QAbstractSocket::SocketError error);

    // Starts the connection and returns at once; stateChanged(Open) or failed() follows.
    void open() override;
    void close() override;
    bool writeBytes(const QByteArray& bytes) override;
    // "192.168.1.50:4001", "[fe80::1]:4001" as given.
    QString channelName() const override;
    QString endpoint() const override { return TcpChannel::channelName(); }

protected:
    // A channel over a socket of another kind (an encrypted one), which it owns.
    TcpChannel(const QString& host, quint16 port, std::unique_ptr<QTcpSocket> socket,
               QObject* parent);
    QTcpSocket& socket() const { return *m_socket; }
    // The connection is made: a plain channel is open now.
    virtual void onConnected();
    // Why the channel ends on this socket error; RemoteHostClosedError: the peer went away.
    virtual ChannelFailure failureOf(QAbstractSocket::SocketError error) const;

private:
    void onErrorOccurred(QAbstractSocket::SocketError error);
    void onDisconnected();
    void end(QAbstractSocket::SocketError error);

    std::unique_ptr<QTcpSocket> m_socket;
    QString m_host;
    quint16 m_port = 0;
};
