#pragma once

#include "platform/TcpChannel.h"

#include <QSslError>
#include <QSslSocket>

class QSslConfiguration;

// A TCP/IP channel inside TLS, to a device server's secure port: the raw line, or the connection
// an RFC 2217 channel speaks through. It opens only once the server's certificate is verified
// (host name included) against the authorities trusted here, or is the one pinned; until then
// not a byte of the line goes out. A certificate and key are offered when the server asks.
class TlsChannel : public TcpChannel {
    Q_OBJECT
public:
    TlsChannel(const QString& host, quint16 port, const TlsTrust& trust, QObject* parent = nullptr);

    // Reads the trust files and starts the connection; stateChanged(Open) or failed() follows,
    // failed() at once when a file cannot be used.
    void open() override;
    // "tls:192.168.1.50:4001".
    QString channelName() const override;
    bool isEncrypted() const override { return true; }
    std::optional<PeerIdentity> peerIdentity() const override { return m_identity; }

    // The certificate's subject as the messages and the record name it ("CN=localhost, O=Plant").
    static QString subjectText(const QSslCertificate& certificate);
    // Its fingerprint as a pin: "SHA256:" and the SHA-256 of its DER bytes in lower-case hex.
    static QString fingerprint(const QSslCertificate& certificate);

protected:
    void onConnected() override;
    ChannelFailure failureOf(QAbstractSocket::SocketError error) const override;

private:
    QSslSocket& ssl() const;
    // The configuration the trust names; a failure when a file or the pin cannot be used.
    ChannelFailure configure(QSslConfiguration& configuration);
    ChannelFailure readClientCertificate(QSslConfiguration& configuration) const;
    void onSslErrors(const QList<QSslError>& errors);
    void onEncrypted();
    void onAlertReceived(QSsl::AlertLevel level, QSsl::AlertType type, const QString& description);
    // The server's certificate, refused for the errors found: kind, subject, fingerprint, why.
    ChannelFailure serverRefusal(const QSslCertificate& certificate,
                                 const QList<QSslError>& errors) const;

    TlsTrust m_trust;
    // The pinned certificate's digest; empty: none pinned.
    QByteArray m_pin;
    std::optional<PeerIdentity> m_identity;
    // Why the handshake ended, found before the socket's own error arrives.
    ChannelFailure m_refusal;
    // Bytes came back since the handshake: the server has accepted us. Until then a fatal alert
    // is its answer to our certificate (with TLS 1.3 it comes after the handshake seems done).
    bool m_heard = false;
};
