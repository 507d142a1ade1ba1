#pragma once

#include "platform/LineChannel.h"

#include <QSerialPort>
#include <QSet>
#include <array>

// The serial channel: COM 1 to COM 8 over QSerialPort, with the error numbers the rest of
// the program reacts to. COM k maps to a device name that the settings may override.
class SerialPort : public LineChannel {
    Q_OBJECT
public:
    static constexpr int kPortCount = 8;
    static constexpr int kNoError = 0;
    static constexpr int kErrNoSuchPort = 8002;
    static constexpr int kErrPortInUse = 8005;
    // The device exists but this user may not open it (not in the dialout group, say).
    static constexpr int kErrPermissionDenied = 8090;
    // The path is a folder, a plain file or a device that is no serial line.
    static constexpr int kErrNotSerial = 8091;
    static constexpr int kErrOpenFailed = 8099;

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    static QString defaultPortName(int comNumber);
    // The error number of a failed open, from Qt's error and what the device file allows.
    static int openFailureCode(QSerialPort::SerialPortError error, bool exists, bool accessible);

    int commPort() const { return m_commPort; }
    void setCommPort(int comNumber) { m_commPort = comNumber; }

    // What became of the low-latency request at the last open.
    enum class LowLatency {
        Off,         // no request made: switched off, not Linux, or not opened yet
        Applied,     // the driver has the mode on
        Unsupported, // the driver refused or ignored it (a pseudo-terminal, some adapters)
    };
    // USB adapters hold received bytes for up to 16 ms before passing them on, which with one
    // short exchange at a time makes a download ten times slower than the wire. On Linux every
    // open asks the driver to pass them on at once; the switch counts from the next open.
    void setLowLatency(bool on) { m_lowLatency = on; }
    bool lowLatencyRequested() const { return m_lowLatency; }
    LowLatency lowLatencyResult() const { return m_lowLatencyResult; }

    // Line settings text such as "38400,n,8,1"; the part before the first comma is the rate.
    QString settings() const { return m_settings; }
    // The part of the line settings before the first comma, as it stands ("38400").
    QString rateText() const { return m_settings.section(u',', 0, 0); }
    // The line settings of a rate: 8 data bits, no parity, 1 stop bit.
    static QString lineSettings(int rate)
    {
        return QString::number(rate) + QStringLiteral(",n,8,1");
    }
    void setSettings(const QString& settings);

    // The indicator the log lines name (a fleet's target); empty: none.
    void setLogName(const QString& name) { m_logName = name; }

    bool portOpen() const { return m_port.isOpen(); }
    // Opens or closes the port; returns kNoError or one of the error numbers above.
    int setPortOpen(bool open);

    // Device names of COM 1 to COM 8 (index 0 is COM 1).
    void setPortName(int comNumber, const QString& device);
    QString portName(int comNumber) const;
    QString devicePath() const { return portName(m_commPort); }

    bool isUsable() const override { return m_port.isOpen(); }
    bool writeBytes(const QByteArray& bytes) override;
    QString channelName() const override { return devicePath(); }

private:
    // After a read or write error on an open port: true when the device is gone or hung up,
    // false for a passing failure (EAGAIN and the like) that leaves the port usable.
    bool deviceGone() const;
    void applyLineSettings();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    int classifyOpenFailure(QSerialPort::SerialPortError error) const;
    // Asks the driver to pass received bytes on at once; changes nothing when it cannot.
    LowLatency requestLowLatency();

    // Parented so that tests can reach the port's own signals.
    QSerialPort m_port{this};
    // Passing errors since the last bytes were read; a long run of them is a broken device.
    int m_passingErrors = 0;
    // The device as opened: the real path behind any link.
    QString m_openedPath;
    bool m_lowLatency = true;
    LowLatency m_lowLatencyResult = LowLatency::Off;
    // Devices whose refusal has been logged: a reopen says nothing new.
    QSet<QString> m_lowLatencyRefusalLogged;
    QString m_logName;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("38400,n,8,1");
    std::array<QString, kPortCount> m_portNames;
};
