#include "session/ChannelManager.h"

namespace {

// The whole decimal number at the start of the text, blanks before it ignored; 0 without one.
int leadingNumber(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == u' ')
        ++i;
    // Leading zeros add nothing and must not count against the length limit.
    while (i + 1 < text.size() && text.at(i) == u'0' && text.at(i + 1).isDigit())
        ++i;
    qsizetype end = i;
    while (end < text.size() && text.at(end).isDigit() && end - i < 9)
        ++end;
    return end > i ? text.mid(i, end - i).toInt() : 0;
}

} // namespace

ChannelManager::ChannelManager(IndicatorSession& session, const QString& settingsPath,
                               QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_settings(settingsPath)
{
    connect(&m_session, &IndicatorSession::stateChanged, this, &ChannelManager::stateChanged);
    connect(&m_session, &IndicatorSession::failed, this,
            [this](const IndicatorSession::Failure& failure) {
                emit failed(failure.title, failure.text);
            });
}

bool ChannelManager::portPresent(int comNumber) const
{
    return comNumber >= 1 && comNumber <= SerialPort::kPortCount && m_portPresent[comNumber - 1];
}

void ChannelManager::setPortPresent(int comNumber, bool present)
{
    if (comNumber >= 1 && comNumber <= SerialPort::kPortCount)
        m_portPresent[comNumber - 1] = present;
}

int ChannelManager::channelCode() const
{
    return m_session.isNetwork() ? kTcpChannel : serialPort().commPort();
}

void ChannelManager::probePorts()
{
    SerialPort& port = serialPort();
    for (int k = 1; k <= SerialPort::kPortCount; ++k) {
        m_portPresent[k - 1] = true;
        port.setCommPort(k);
        if (port.setPortOpen(true) == SerialPort::kErrNoSuchPort)
            m_portPresent[k - 1] = false;
        if (port.portOpen())
            port.setPortOpen(false);
    }
}

void ChannelManager::startUp()
{
    m_session.applyPortSettings(m_settings);
    probePorts();
    const QString stored = m_settings.readValue(kSection, kKeyCommPort);
    if (stored.contains(QStringLiteral("RFC2217"), Qt::CaseInsensitive))
        startRfc2217();
    else if (stored.contains(QStringLiteral("TCP")))
        startTcp();
    else
        startSerial();
}

std::pair<QString, quint16> ChannelManager::storedHost() const
{
    bool ok = false;
    const qint32 port = m_settings.readValue(kSection, kKeyPort).toInt(&ok);
    // A number that names no TCP port is as unusable as no number.
    const bool valid = ok && port >= 0 && port <= kMaxTcpPort;
    return {m_settings.readValue(kSection, kKeyIp), valid ? quint16(port) : quint16(0)};
}

int ChannelManager::storedRate()
{
    const QString code = m_settings.readValue(kSection, kKeyCommBaud);
    if (code.size() == 1 && code.at(0) >= u'0' && code.at(0) <= u'5')
        return ChannelSettings::kBaudRates[code.at(0).digitValue()];
    m_settings.writeValue(kSection, kKeyCommBaud, QString::number(kFallbackBaudCode));
    return ChannelSettings::kBaudRates[kFallbackBaudCode];
}

void ChannelManager::startTcp()
{
    const auto [host, port] = storedHost();
    m_session.setAddress(PortAddress::tcp(host, port));
}

void ChannelManager::startRfc2217()
{
    const auto [host, port] = storedHost();
    m_session.setRate(storedRate());
    m_session.setAddress(PortAddress::rfc2217(host, port));
}

void ChannelManager::startSerial()
{
    const int number = leadingNumber(m_settings.readValue(kSection, kKeyCommPort));
    m_session.setRate(storedRate());
    m_session.setAddress(PortAddress::com(portPresent(number) ? number : serialPort().commPort()));
}

bool ChannelManager::choosePort(int channelCode)
{
    const int old = this->channelCode();
    if (channelCode == old)
        return false;
    if (channelCode == kTcpChannel) {
        m_session.setAddress(
            PortAddress::tcp(tcpClient().remoteHost(), quint16(tcpClient().remotePort())));
        m_settings.writeValue(kSection, kKeyCommPort, QStringLiteral("TCP"));
        return true;
    }
    m_session.setAddress(PortAddress::com(channelCode));
    m_settings.writeValue(kSection, kKeyCommPort, QString::number(channelCode));
    return true;
}

void ChannelManager::chooseRate(int rate)
{
    // Compared by rate: a line set as "4800" alone is at 4800 already.
    if (isRfc2217Mode() ? rate == m_session.lineRate()
                        : QString::number(rate) == serialPort().rateText())
        return;
    m_session.setRate(rate);
    m_settings.writeValue(kSection, kKeyCommBaud, QString::number(ChannelSettings::baudCode(rate)));
}

void ChannelManager::chooseHost(const QString& host)
{
    m_session.setAddress(PortAddress::tcp(host, quint16(tcpClient().remotePort())));
}

ChannelSettings ChannelManager::channelSettings() const
{
    ChannelSettings settings;
    settings.channelCode = channelCode();
    for (int k = 1; k <= SerialPort::kPortCount; ++k) {
        settings.devices.at(k - 1) = serialPort().portName(k);
        settings.present.at(k - 1) = portPresent(k);
    }
    settings.host = tcpClient().remoteHost();
    settings.port = tcpClient().remotePort();
    return settings;
}
