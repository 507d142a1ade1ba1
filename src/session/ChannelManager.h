#pragma once

#include "link/ChannelSettings.h"
#include "platform/SettingsStore.h"
#include "session/IndicatorSession.h"

#include <QObject>
#include <array>

// The window's channel settings for the whole run, over the session that opens the channel: the
// start-up probe and the settings file, the port, rate and host the operator chooses (stored,
// and applied to an open port by closing and opening it again), open and close.
class ChannelManager : public QObject {
    Q_OBJECT
public:
    using State = IndicatorSession::State;

    static inline const QString kSection = QStringLiteral("CommSettings");
    static inline const QString kKeyCommPort = QStringLiteral("CommPort");
    // Read as CommBaud too: keys match whatever their case. A new file gets this spelling.
    static inline const QString kKeyCommBaud = QStringLiteral("Commbaud");
    static inline const QString kKeyIp = QStringLiteral("IP");
    static inline const QString kKeyPort = QStringLiteral("Port");
    // Channel codes: 1 to 8 for COM 1 to COM 8, this one for TCP/IP.
    static constexpr int kTcpChannel = ChannelSettings::kTcpChannel;
    static constexpr qint32 kMaxTcpPort = 65535;
    static constexpr int kFallbackBaudCode = 2;

    ChannelManager(IndicatorSession& session,
                   const QString& settingsPath = SettingsStore::defaultPath(),
                   QObject* parent = nullptr);

    SettingsStore& settings() { return m_settings; }
    IndicatorSession& session() { return m_session; }
    SerialPort& serialPort() { return m_session.serialPort(); }
    const SerialPort& serialPort() const { return m_session.serialPort(); }
    TcpClient& tcpClient() { return m_session.tcpClient(); }
    const TcpClient& tcpClient() const { return m_session.tcpClient(); }

    bool isTcpMode() const { return m_session.isTcp(); }
    // The indicator's port on a serial device server, its rate set through RFC 2217
    // (CommPort=RFC2217, chosen in the settings file only).
    bool isRfc2217Mode() const { return m_session.isRfc2217(); }
    // COM k (1 to 8) was found by the start-up probe.
    bool portPresent(int comNumber) const;
    // What the probe would find; for tests and the screenshot tool, which run no probe.
    void setPortPresent(int comNumber, bool present);
    // 1 to 8 for the COM port in force, kTcpChannel in TCP/IP mode (and for a device server,
    // which the port window shows as its network option).
    int channelCode() const;
    State state() const { return m_session.state(); }
    // The settings in force, for the port and TCP/IP windows.
    ChannelSettings channelSettings() const;

    // Probes COM 1 to COM 8, reads the settings and sets the session's address and rate. The
    // channel is left closed. A step that fails is skipped.
    void startUp();

    void open() { m_session.open(); }
    void close() { m_session.close(); }

    // A channel chosen in the port window; true when it changed.
    bool choosePort(int channelCode);
    // A rate chosen in the rate window.
    void chooseRate(int rate);
    // A host chosen in the TCP/IP window, for the next connection; nothing is stored.
    void chooseHost(const QString& host);

signals:
    void stateChanged(ChannelManager::State state);
    void failed(const QString& title, const QString& text);

private:
    void probePorts();
    void startTcp();
    void startRfc2217();
    void startSerial();
    // The rate CommBaud names; the fallback, written back, when it names none.
    int storedRate();
    // IP and Port; a port that names no TCP port is 0.
    std::pair<QString, quint16> storedHost() const;

    IndicatorSession& m_session;
    SettingsStore m_settings;
    std::array<bool, SerialPort::kPortCount> m_portPresent{};
};
