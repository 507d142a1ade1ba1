#pragma once

#include "platform/LineChannel.h"
#include "platform/TelnetCodec.h"

#include <QList>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>

// The indicator's serial port on a serial device server (or ser2net) that speaks Telnet with
// COM port control: unlike a raw TCP port, it sets the remote line to the rate asked, 8N1,
// without flow control. Usable from the moment the server confirms the rate.
class Rfc2217Channel : public LineChannel {
    Q_OBJECT
public:
    // Failures of our own, beside the Windows Sockets numbers of TcpClient::errorNumber.
    static constexpr int kErrNotRfc2217 = 12101;
    static constexpr int kErrRateNotConfirmed = 12102;
    static constexpr int kErrLineSettingRefused = 12103;
    static constexpr int kErrClosedWhileSettingUp = 12104;
    static constexpr int kErrNoBaudRate = 12105;

    // A server on the plant network answers negotiation within milliseconds; these bounds
    // leave room for a slow link and still end a wrong address (a raw TCP port) soon.
    static constexpr std::chrono::milliseconds kAgreementTimeout{3000};
    static constexpr std::chrono::milliseconds kConfirmationTimeout{3000};

    explicit Rfc2217Channel(QObject* parent = nullptr);
    ~Rfc2217Channel() override;

    QString remoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString& host) { m_remoteHost = host; }
    qint32 remotePort() const { return m_remotePort; }
    void setRemotePort(qint32 port) { m_remotePort = port; }

    // The rate asked for the remote line. Set before connecting, it is asked at the connection;
    // on an open channel it is asked at once, and baudRateChanged() follows its confirmation.
    // False, and nothing changed, for a rate that is not positive.
    bool setBaudRate(qint32 rate);
    qint32 baudRate() const { return m_baudRate; }

    // Starts a connection to RemoteHost:RemotePort and returns at once; connected() or
    // errorOccurred() follows.
    void connectToIndicator();
    void close();
    // True once the server has confirmed the rate: bytes written now cross the line at it.
    bool isConnected() const { return m_phase == Phase::Ready; }

    bool isUsable() const override { return isConnected(); }
    bool writeBytes(const QByteArray& bytes) override;
    QString channelName() const override;

signals:
    // A failure, with its number and a description: the socket's or one of ours above. When
    // the channel was open, channelLost() follows.
    void errorOccurred(int number, const QString& description);
    // The server agreed to COM port control and confirmed the rate: the channel is usable.
    void connected();
    // The server confirmed a rate asked on the open channel.
    void baudRateChanged(qint32 rate);

private:
    enum class Phase { Closed, Connecting, Agreeing, Confirming, Ready };

    void onConnected();
    void onReadyRead();
    void onErrorOccurred(QAbstractSocket::SocketError error);
    void onDisconnected();
    void onTimeout();
    void sendLineSettings();
    void askBaudRate();
    void check(const TelnetCodec::ComPortAnswer& answer);
    // The server set a line setting other than the one asked: the line is of no use.
    void refuseSetting(const QString& what, const QString& got, const QString& asked);
    void fail(int number, const QString& description);
    void send(const QByteArray& bytes);
    QString address() const;
    QString notRfc2217() const;

    QTcpSocket m_socket;
    QTimer m_timer;
    TelnetCodec m_codec;
    QString m_remoteHost;
    qint32 m_remotePort = 0;
    qint32 m_baudRate = 0;
    // Rates asked and not yet confirmed, oldest first: the server answers in order.
    QList<qint32> m_ratesAsked;
    Phase m_phase = Phase::Closed;
};
