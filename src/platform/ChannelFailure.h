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

    Kind kind = Kind::None;
    int number = 0;
    // The system's or the channel's own words; may be empty.
    QString detail;

    bool isNone() const { return kind == Kind::None; }
    // A serial port that did not open: the kinds the port window's messages speak of.
    bool isPortNotOpened() const { return kind >= Kind::NoSuchPort && kind <= Kind::OpenFailed; }
    // An open channel's end: its other side went away rather than failing with a number.
    bool isLoss() const { return kind == Kind::DeviceGone || kind == Kind::PeerClosed; }
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
        return {kind, number, detail};
    }

    friend bool operator==(const ChannelFailure&, const ChannelFailure&) = default;
};

Q_DECLARE_METATYPE(ChannelFailure)
