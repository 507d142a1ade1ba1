#pragma once

#include "link/ChannelSettings.h"
#include "platform/SettingsStore.h"
#include "session/IndicatorSession.h"

#include <array>
#include <functional>

// The window's channel settings: read from the settings file as typed values at start-up and
// applied to the session, and each choice the operator confirms in the port, rate and TCP/IP
// windows applied and written back, key by key, as the file had them.
class WindowChannelSettings {
public:
    // The serial line's rate until the settings file names one: a network channel reads none.
    static constexpr int kSerialDefaultRate = 38400;
    // The rate the rate window opens with when the line is at none of the six.
    static constexpr int kDialogFallbackRate = 38400;

    explicit WindowChannelSettings(IndicatorSession& session,
                                   const QString& settingsPath = SettingsStore::defaultPath());

    IndicatorSession& session() { return m_session; }
    const IndicatorSession& session() const { return m_session; }
    SettingsStore& store() { return m_store; }
    const SettingsStore& store() const { return m_store; }

    // Probes COM 1 to COM 8 with the devices the file names, reads the channel, its rate and
    // host, and sets the session to them. The channel is left closed. A step that fails is
    // skipped.
    void startUp();
    // COM k (1 to 8) was found by the start-up probe.
    bool portPresent(int comNumber) const;
    // What the probe would find; for tests and the screenshot tool, which run no probe.
    void setPortPresent(int comNumber, bool present);

    // The settings in force, for the port, rate and TCP/IP windows and the status bar.
    ChannelSettings inForce() const;
    // A channel chosen in the port window; true when it changed.
    bool choosePort(ChannelSettings::Choice choice);
    // A rate chosen in the rate window; applied at once where the channel allows.
    void chooseRate(int rate);
    // A host chosen in the TCP/IP window, for the next connection; nothing is stored.
    void chooseHost(const QString& host);
    // The rate the rate window opens with: one of the six; a line at another rate is set to
    // kDialogFallbackRate at once, whatever the operator does next.
    int rateForDialog();

private:
    void probePorts();
    void reopenAround(const std::function<void()>& change);
    // The rate CommBaud names; the fallback, written back, when it names none.
    int storedRate();
    // IP and Port; a port that names no TCP port is 0.
    void readHost();
    // CA, Cert, Key and Pin, for a port inside TLS.
    void readTlsTrust();

    IndicatorSession& m_session;
    SettingsStore m_store;
    std::array<bool, ComPorts::kCount> m_portPresent{};
    // The network host and port, kept for the next connection as the operator chose them.
    QString m_host;
    quint16 m_port = 0;
};
