#pragma once

#include "platform/LineChannel.h"

#include <QSerialPort>
#include <QSet>

// The serial channel: one device over QSerialPort, with the failure kinds and numbers the rest
// of the program reacts to.
class SerialChannel : public LineChannel {
    Q_OBJECT
public:
    // device: the path to open; comNumber: the COM port it stands for (1 to 8), 0 for none.
    explicit SerialChannel(const QString& device, int comNumber = 0, QObject* parent = nullptr);
    ~SerialChannel() override;

    // The failure of an open, from Qt's error and what the device file allows.
    static ChannelFailure::Kind openFailure(QSerialPort::SerialPortError error, bool exists,
                                            bool accessible);

    const QString& device() const { return m_device; }
    int comNumber() const { return m_comNumber; }

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

    void open() override;
    void close() override;
    bool writeBytes(const QByteArray& bytes) override;
    QString channelName() const override { return m_device; }
    // "COM 1 /dev/ttyS0", or the device alone when it stands for no COM port.
    QString description() const override;
    std::optional<LineSettings> lineSettings() const override { return m_settings; }
    void setLineSettings(const LineSettings& settings) override;

private:
    // After a read or write error on an open port: true when the device is gone or hung up,
    // false for a passing failure (EAGAIN and the like) that leaves the port usable.
    bool deviceGone() const;
    void applyLineSettings();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    ChannelFailure openFailure(QSerialPort::SerialPortError error) const;
    // Asks the driver to pass received bytes on at once; changes nothing when it cannot.
    LowLatency requestLowLatency();

    // Parented so that tests can reach the port's own signals.
    QSerialPort m_port{this};
    QString m_device;
    int m_comNumber = 0;
    LineSettings m_settings;
    // Passing errors since the last bytes were read; a long run of them is a broken device.
    int m_passingErrors = 0;
    // The device as opened: the real path behind any link.
    QString m_openedPath;
    bool m_lowLatency = true;
    LowLatency m_lowLatencyResult = LowLatency::Off;
    // Devices whose refusal has been logged: a reopen says nothing new.
    QSet<QString> m_lowLatencyRefusalLogged;
};
