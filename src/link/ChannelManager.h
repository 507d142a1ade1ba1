#pragma once

#include "link/ChannelSettings.h"
#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"
#include "platform/TcpClient.h"

#include <QObject>
#include <array>
#include <functional>

// Owns the two channels to the indicator and their settings for the whole run: the start-up
// probe and settings, open and close, a setting changed by the operator (stored, and applied to
// an open port by closing and opening it again), and the channel's loss. Every failure is
// reported once, through failed(), with the texts the operator knows.
class ChannelManager : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Connecting, Open };
    Q_ENUM(State)

    static inline const QString kSection = QStringLiteral("CommSettings");
    static inline const QString kKeyCommPort = QStringLiteral("CommPort");
    static inline const QString kKeyCommBaud = QStringLiteral("CommBaud");
    static inline const QString kKeyCommBaudWritten = QStringLiteral("Commbaud");
    static inline const QString kKeyIp = QStringLiteral("IP");
    static inline const QString kKeyPort = QStringLiteral("Port");
    static inline const QString kPortNamesSection = QStringLiteral("PortNames");
    // "0" turns the low-latency request on USB adapters off; anything else leaves it on.
    static inline const QString kSerialPortSection = QStringLiteral("SerialPort");
    static inline const QString kKeyLowLatency = QStringLiteral("LowLatency");
    // Channel codes: 1 to 8 for COM 1 to COM 8, this one for TCP/IP.
    static constexpr int kTcpChannel = ChannelSettings::kTcpChannel;
    static constexpr qint32 kMaxTcpPort = 65535;
    static constexpr int kFallbackBaudCode = 2;
    // The rate a line setting outside the six is replaced with when the rate dialog opens.
    static constexpr int kDialogFallbackRate = 38400;

    explicit ChannelManager(const QString& settingsPath = SettingsStore::defaultPath(),
                            QObject* parent = nullptr);

    SettingsStore& settings() { return m_settings; }
    SerialPort& serialPort() { return m_serialPort; }
    const SerialPort& serialPort() const { return m_serialPort; }
    TcpClient& tcpClient() { return m_tcpClient; }
    const TcpClient& tcpClient() const { return m_tcpClient; }
    // The channel in force: the socket in TCP/IP mode, the serial port otherwise.
    LineChannel& activeChannel();

    bool isTcpMode() const { return m_tcpMode; }
    // COM k (1 to 8) was found by the start-up probe.
    bool portPresent(int comNumber) const;
    // What the probe would find; for tests and the screenshot tool, which run no probe.
    void setPortPresent(int comNumber, bool present);
    // 1 to 8 for the COM port in force, kTcpChannel in TCP/IP mode.
    int channelCode() const;
    State state() const { return m_state; }
    // Where the channel in force leads, for the download record: "COM 1 /dev/ttyUSB0" or
    // "192.168.1.50:4001".
    QString channelDescription() const;
    // The serial line's rate; 0 in TCP/IP mode.
    int lineRate() const;
    // The settings in force, for the port and TCP/IP windows.
    ChannelSettings channelSettings() const;

    // The texts start-up leaves in status panels 2 and 3.
    struct StartUpResult {
        QString channelText;
        QString lineText;
    };
    // Probes COM 1 to COM 8, reads the settings and configures the serial port or the socket.
    // The channel is left closed. A step that fails is skipped.
    StartUpResult startUp();

    // Opens the channel in force: a serial port at once, a TCP/IP connection in the background.
    void open();
    void close();

    // While this answers true, a query or a download uses the channel and tells its loss itself.
    void setTaskRunning(std::function<bool()> taskRunning)
    {
        m_taskRunning = std::move(taskRunning);
    }
    // Tells the operator the channel was lost, unless that was told since it was opened.
    void reportLoss(const QString& reason);

    // A channel chosen in the port dialog; the status texts it leaves (empty: unchanged).
    struct Shown {
        QString channelText;
        QString lineText;
        bool lineTextChanged = false;
    };
    Shown choosePort(int channelCode);
    // The rate the rate dialog opens with: one of the six; a line setting outside them is
    // replaced at once with kDialogFallbackRate.
    int rateForDialog();
    // A rate chosen in the rate dialog; the line settings text to show.
    QString chooseRate(int rate);
    // A host chosen in the TCP/IP dialog, for the next connection; nothing is stored.
    void chooseHost(const QString& host) { m_tcpClient.setRemoteHost(host); }

    // What the settings file says of the serial port: the device behind each COM number and
    // whether to ask USB adapters for low latency. The command line takes it from here too.
    static void applyPortSettings(const SettingsStore& settings, SerialPort& port);

    // "COM  3": "COM " and the number as the boxes write numbers.
    static QString comPortText(int comNumber);
    // "38400,n,8,1"
    static QString lineSettingsText(int rate);
    // The rate's code "0" to "5", or -1 for a rate outside the six.
    static int baudCode(int rate);

signals:
    void stateChanged(ChannelManager::State state);
    void failed(const QString& title, const QString& text);

private:
    void probePorts();
    void setState(State state);
    // A setting the driver takes only while the port is closed: an open port is closed,
    // changed and opened again; if it does not open, it stays closed and the operator is told.
    void changeSerialPort(const std::function<void(SerialPort&)>& change);
    bool reportPortFailure(int error);
    void onTcpError(int number, const QString& description);
    void onChannelLost(const QString& reason);
    bool taskRunning() const { return m_taskRunning && m_taskRunning(); }

    SettingsStore m_settings;
    SerialPort m_serialPort;
    TcpClient m_tcpClient;
    std::array<bool, SerialPort::kPortCount> m_portPresent{};
    bool m_tcpMode = false;
    State m_state = State::Closed;
    // The loss of the channel has been told since it was opened.
    bool m_lossReported = false;
    std::function<bool()> m_taskRunning;
};
