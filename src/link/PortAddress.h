#pragma once

#include <QString>
#include <optional>

// Where an indicator is: COM 1 to COM 8 (a device through the settings' [PortNames]), a device
// path, or a TCP/IP endpoint.
struct PortAddress {
    enum class Kind { Com, Device, Tcp };
    Kind kind = Kind::Com;
    int comNumber = 1; // Com: 1 to 8
    QString device;    // Device
    QString host;      // Tcp
    quint16 tcpPort = 0;
    QString text; // as given, for the messages

    static PortAddress com(int number);
    static PortAddress tcp(const QString& host, quint16 port);

    bool isSerial() const { return kind != Kind::Tcp; }

    // "COM3", "/dev/ttyUSB0", "tcp:192.168.1.50:4001" or "tcp:[fe80::1]:4001". On failure
    // nothing, and *error says what was wrong.
    static std::optional<PortAddress> parse(const QString& text, QString* error);
};
