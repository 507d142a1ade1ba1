#pragma once

#include <QMetaType>
#include <QString>

// Why a channel did not open or stopped being usable, as a value: what kind of failure, the
// number the system gives it where one is shown to the operator, and the words of whoever
// noticed it. The views turn it into their own texts.
struct ChannelFailure {
    enum class Kind {
        None,
        // A serial port that did not open.
        NoSuchPort,
        PortInUse,
        PermissionDenied, // the device exists but this user may not open it
        NotSerial,        // a folder, a plain file or a device that is no serial line
        OpenFailed,
        // An open serial device that vanished or hung up (adapter unplugged).
        DeviceGone,
        // A TCP/IP socket failure; number is its Windows Sockets code.
        SocketError,
        // The other end closed an open connection.
        PeerClosed,
        // A serial device server that does not set its line up as asked.
        NotRfc2217,
        RateNotConfirmed,
        LineSettingRefused,
        ClosedWhileSettingUp,
        NoBaudRate,
        // No answer to the connection within the caller's limit.
        ConnectTimeout,
        // An encrypted channel that refused to go on, or was refused, before a byte of the line
        // went out: the device server's certificate is signed by no authority trusted here (or
        // is not the one pinned), has expired or is not yet valid, or names another host.
        TlsServerUntrusted,
        TlsServerExpired,
        TlsServerNameMismatch,
        // The device server refused this program's certificate, or asked for one and none was
        // given.
        TlsClientRefused,
        TlsCertificateAsked,
        // The key file is protected by a passphrase, which nobody is there to type.
        TlsKeyEncrypted,
        // A CA, certificate or key file that cannot be read or holds nothing usable, a pin that
        // is no fingerprint.
        TlsFileUnusable,
    };

    // The numbers the operator may look up, as the serial port and the socket controls of old
    // gave them; the socket failures carry the Windows Sockets code instead.
    static constexpr int kNoSuchPort = 8002;
    static constexpr int kPortInUse = 8005;
    static constexpr int kPermissionDenied = 8090;
    static constexpr int kNotSerial = 8091;
    static constexpr int kOpenFailed = 8099;
    static constexpr int kNotRfc2217 = 12101;
    static constexpr int kRateNotConfirmed = 12102;
    static constexpr int kLineSettingRefused = 12103;
    static constexpr int kClosedWhileSettingUp = 12104;
    static constexpr int kNoBaudRate = 12105;
    static constexpr int kTlsServerUntrusted = 12201;
    static constexpr int kTlsServerExpired = 12202;
    static constexpr int kTlsServerNameMismatch = 12203;
    static constexpr int kTlsClientRefused = 12204;
    static constexpr int kTlsCertificateAsked = 12205;
    static constexpr int kTlsKeyEncrypted = 12206;
    static constexpr int kTlsFileUnusable = 12207;

    Kind kind = Kind::None;
    int number = 0;
    // The system's or the channel's own words; may be empty.
    QString detail;
    // The device server's certificate that was refused, as "SHA256:<hex>": the views say how
    // to pin it. Empty for every other failure.
    QString pin;

    bool isNone() const { return kind == Kind::None; }
    // A serial port that did not open: the kinds the port window's messages speak of.
    bool isPortNotOpened() const { return kind >= Kind::NoSuchPort && kind <= Kind::OpenFailed; }
    // An open channel's end: its other side went away rather than failing with a number.
    bool isLoss() const { return kind == Kind::DeviceGone || kind == Kind::PeerClosed; }
    // A refusal of trust on either side, or trust that cannot be set up: trying again changes
    // nothing until someone changes a certificate or a setting.
    bool isTrustRefusal() const
    {
        return kind >= Kind::TlsServerUntrusted && kind <= Kind::TlsFileUnusable;
    }
    // What may pass by itself: an adapter plugged in again, a port let go by another program, a
    // device server or an indicator switched on. A setting or a file that is wrong stays so.
    bool mayPass() const
    {
        switch (kind) {
        case Kind::NoSuchPort:
        case Kind::PortInUse:
        case Kind::DeviceGone:
        case Kind::SocketError:
        case Kind::PeerClosed:
        case Kind::ClosedWhileSettingUp:
        case Kind::RateNotConfirmed:
        case Kind::ConnectTimeout:
            return true;
        default:
            return false;
        }
    }

    static ChannelFailure of(Kind kind, int number, const QString& detail = {})
    {
        ChannelFailure failure;
        failure.kind = kind;
        failure.number = number;
        failure.detail = detail;
        return failure;
    }

    friend bool operator==(const ChannelFailure&, const ChannelFailure&) = default;
};

Q_DECLARE_METATYPE(ChannelFailure)
