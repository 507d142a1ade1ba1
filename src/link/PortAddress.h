#pragma once

#include <QString>
#include <optional>

// Where an indicator is: COM 1 to COM 8 (a device through the settings' [PortNames]), a device
// path, a raw TCP/IP endpoint, or a serial device server's port spoken to by RFC 2217; either
// network form may travel inside TLS.
struct PortAddress {
    enum class Kind { Com, Device, Tcp, Rfc2217, Tls, Rfc2217Tls };
    Kind kind = Kind::Com;
    int comNumber = 1; // Com: 1 to 8
    QString device;    // Device
    QString host;      // the network kinds
    quint16 tcpPort = 0;
    QString text; // as given, for the messages

    static PortAddress com(int number);
    static PortAddress tcp(const QString& host, quint16 port);
    static PortAddress rfc2217(const QString& host, quint16 port);
    static PortAddress tls(const QString& host, quint16 port);
    static PortAddress rfc2217Tls(const QString& host, quint16 port);
    // The same kind of network port on another host.
    PortAddress withHost(const QString& newHost) const;

    // A serial port of this computer.
    bool isSerial() const { return kind == Kind::Com || kind == Kind::Device; }
    // A line whose rate this program sets: a serial port, or one behind RFC 2217.
    bool takesRate() const { return kind != Kind::Tcp && kind != Kind::Tls; }
    bool isNetwork() const { return !isSerial(); }
    // Inside TLS: the device server's certificate is checked, and ours offered.
    bool isTls() const { return kind == Kind::Tls || kind == Kind::Rfc2217Tls; }

    // "COM3", "/dev/ttyUSB0", "tcp:192.168.1.50:4001", "tcp:[fe80::1]:4001",
    // "rfc2217://192.168.1.50:4001", "tls:192.168.1.50:4001" or
    // "rfc2217+tls://192.168.1.50:4001". On failure nothing, and *error says what was wrong.
    static std::optional<PortAddress> parse(const QString& text, QString* error);
    // A device path as this system writes one, for help texts and messages.
    static QString deviceExample();
};
