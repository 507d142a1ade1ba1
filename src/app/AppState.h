#pragma once

#include "app/SettingsStore.h"
#include "platform/SerialPort.h"
#include "platform/TcpClient.h"

#include <QObject>
#include <array>

// The program-wide state that lives as long as the main window: the settings file, the two
// channel controls, which ports the start-up probe found and which channel is in force.
class AppState : public QObject {
    Q_OBJECT
public:
    static inline const QString kSection = QStringLiteral("CommSettings");
    static inline const QString kKeyCommPort = QStringLiteral("CommPort");
    static inline const QString kKeyCommBaud = QStringLiteral("CommBaud");
    static inline const QString kKeyCommBaudWritten = QStringLiteral("Commbaud");
    static inline const QString kKeyIp = QStringLiteral("IP");
    static inline const QString kKeyPort = QStringLiteral("Port");
    static inline const QString kPortNamesSection = QStringLiteral("PortNames");
    static constexpr int kTcpChannel = 9;
    static constexpr qint32 kMaxTcpPort = 65535;

    // The six rates in the order of their codes "0" to "5".
    static constexpr std::array<int, 6> kBaudRates = {4800, 9600, 19200, 38400, 57600, 115200};
    static constexpr int kFallbackBaudCode = 2;

    explicit AppState(const QString& settingsPath = SettingsStore::defaultPath(),
                      QObject* parent = nullptr);

    SettingsStore& settings() { return m_settings; }
    SerialPort& commPort1() { return m_commPort1; }
    const SerialPort& commPort1() const { return m_commPort1; }
    TcpClient& tcpClient() { return m_tcpClient; }
    const TcpClient& tcpClient() const { return m_tcpClient; }

    // The texts start-up leaves in status panels 2 and 3.
    struct StartUpResult {
        QString channelText;
        QString lineText;
    };
    // Probes COM 1 to COM 8, reads the settings and configures the serial control or the
    // socket. The channel is left closed. A step that fails is skipped.
    StartUpResult StartUp();

    std::array<bool, SerialPort::kPortCount> PortPresent{};
    bool TcpMode = false;

    // The channel in force: the socket in TCP/IP mode, the serial port otherwise.
    LineChannel& activeChannel();

    // "COM  3": "COM " and the number as the boxes write numbers.
    static QString comPortText(int comNumber);
    // "38400,n,8,1"
    static QString lineSettingsText(int rate);
    // The rate's code "0" to "5", or -1 for a rate outside the six.
    static int baudCode(int rate);

private:
    void readPortNames();
    void probePorts();

    SettingsStore m_settings;
    SerialPort m_commPort1;
    TcpClient m_tcpClient;
};
