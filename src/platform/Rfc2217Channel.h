#pragma once

#include "platform/LineChannel.h"
#include "platform/TelnetCodec.h"

#include <QList>
#include <QTimer>

#include <chrono>
#include <memory>

// The indicator's serial port on a serial device server (or ser2net) that speaks Telnet with
// COM port control, over a connection to it: unlike a raw TCP port, it sets the remote line to
// the rate asked, 8N1, without flow control. Open from the moment the server confirms the rate.
class Rfc2217Channel : public LineChannel {
    Q_OBJECT
public:
    // A server on the plant network answers negotiation within milliseconds; these bounds
    // leave room for a slow link and still end a wrong address (a raw TCP port) soon.
    static constexpr std::chrono::milliseconds kAgreementTimeout{3000};
    static constexpr std::chrono::milliseconds kConfirmationTimeout{3000};

    // transport: the connection to the device server, which this channel owns.
    explicit Rfc2217Channel(std::unique_ptr<LineChannel> transport, QObject* parent = nullptr);
    ~Rfc2217Channel() override;

    // Connects and sets the line up; stateChanged(Open) or failed() follows.
    void open() override;
    void close() override;
    bool writeBytes(const QByteArray& bytes) override;
    // "rfc2217://192.168.1.50:4001", "rfc2217+tls://192.168.1.50:4001" inside TLS.
    QString channelName() const override;
    QString endpoint() const override { return address(); }
    bool isEncrypted() const override { return m_transport->isEncrypted(); }
    std::optional<PeerIdentity> peerIdentity() const override
    {
        return m_transport->peerIdentity();
    }
    std::optional<LineSettings> lineSettings() const override { return m_settings; }
    // Set before opening, the settings are asked at the connection; on an open channel the rate
    // is asked at once, and baudRateChanged() follows its confirmation. A rate that is not
    // positive changes nothing.
    void setLineSettings(const LineSettings& settings) override;

signals:
    // The server confirmed a rate asked on the open channel.
    void baudRateChanged(qint32 rate);

private:
    enum class Phase { Closed, Connecting, Agreeing, Confirming, Ready };

    void onConnected();
    void onReceived(const QByteArray& bytes);
    void onTransportFailed(const ChannelFailure& failure);
    void onTimeout();
    void sendLineSettings();
    void askBaudRate();
    void check(const TelnetCodec::ComPortAnswer& answer);
    // The server set a line setting other than the one asked: the line is of no use.
    void refuseSetting(const QString& what, const QString& got, const QString& asked);
    void failWith(ChannelFailure::Kind kind, int number, const QString& description);
    int parityCode() const;
    int stopBitsCode() const;
    void send(const QByteArray& bytes);
    QString address() const;
    QString notRfc2217() const;

    std::unique_ptr<LineChannel> m_transport;
    QTimer m_timer;
    TelnetCodec m_codec;
    LineSettings m_settings = LineSettings::at(0);
    // Rates asked and not yet confirmed, oldest first: the server answers in order.
    QList<qint32> m_ratesAsked;
    Phase m_phase = Phase::Closed;
};
