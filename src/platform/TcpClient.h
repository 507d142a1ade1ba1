#pragma once

#include "platform/LineChannel.h"

#include <QTcpSocket>

// The TCP/IP channel: a client connection to the indicator's TCP/IP endpoint.
class TcpClient : public LineChannel {
    Q_OBJECT
public:
    explicit TcpClient(QObject* parent = nullptr);
    ~TcpClient() override;

    QString remoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString& host) { m_remoteHost = host; }
    qint32 remotePort() const { return m_remotePort; }
    void setRemotePort(qint32 port) { m_remotePort = port; }

    // Starts a connection to RemoteHost:RemotePort and returns at once.
    void connectToIndicator();
    void close();
    bool isConnected() const;

    // The number an operator can look up: the Windows Sockets code of the failure.
    static int errorNumber(QAbstractSocket::SocketError error);

    bool isUsable() const override { return isConnected(); }
    bool writeBytes(const QByteArray& bytes) override;
    QString channelName() const override;

signals:
    // A socket failure, with its number and a description.
    void errorOccurred(int number, const QString& description);
    void connected();

private:
    void onErrorOccurred(QAbstractSocket::SocketError error);
    void onDisconnected();

    QTcpSocket m_socket;
    QString m_remoteHost;
    qint32 m_remotePort = 0;
    bool m_closing = false;
};
