#include "link/ChannelManager.h"

#include "link/PortFailure.h"
#include "platform/TextRoutines.h"

namespace {

const QString kTcpText = QStringLiteral("TCP/IP");

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

ChannelManager::ChannelManager(const QString& settingsPath, QObject* parent)
    : QObject(parent)
    , m_settings(settingsPath)
{
    connect(&m_tcpClient, &TcpClient::errorOccurred, this, &ChannelManager::onTcpError);
    connect(&m_tcpClient, &TcpClient::connected, this, [this] {
        if (m_tcpMode && m_state == State::Connecting)
            setState(State::Open);
    });
    connect(&m_tcpClient, &LineChannel::channelLost, this, &ChannelManager::onChannelLost);
    connect(&m_serialPort, &LineChannel::channelLost, this, &ChannelManager::onChannelLost);
}

QString ChannelManager::comPortText(int comNumber)
{
    return QStringLiteral("COM ") + TextRoutines::numberText(comNumber);
}

QString ChannelManager::lineSettingsText(int rate)
{
    return QString::number(rate) + QStringLiteral(",n,8,1");
}

int ChannelManager::baudCode(int rate)
{
    for (size_t i = 0; i < ChannelSettings::kBaudRates.size(); ++i) {
        if (ChannelSettings::kBaudRates[i] == rate)
            return static_cast<int>(i);
    }
    return -1;
}

LineChannel& ChannelManager::activeChannel()
{
    if (m_tcpMode)
        return m_tcpClient;
    return m_serialPort;
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
    return m_tcpMode ? kTcpChannel : m_serialPort.commPort();
}

void ChannelManager::applyPortSettings(const SettingsStore& settings, SerialPort& port)
{
    for (int k = 1; k <= SerialPort::kPortCount; ++k)
        port.setPortName(k, settings.readValue(kPortNamesSection, QStringLiteral("COM%1").arg(k)));
    port.setLowLatency(settings.readValue(kSerialPortSection, kKeyLowLatency) !=
                       QStringLiteral("0"));
}

void ChannelManager::probePorts()
{
    for (int k = 1; k <= SerialPort::kPortCount; ++k) {
        m_portPresent[k - 1] = true;
        m_serialPort.setCommPort(k);
        if (m_serialPort.setPortOpen(true) == SerialPort::kErrNoSuchPort)
            m_portPresent[k - 1] = false;
        if (m_serialPort.portOpen())
            m_serialPort.setPortOpen(false);
    }
}

ChannelManager::StartUpResult ChannelManager::startUp()
{
    applyPortSettings(m_settings, m_serialPort);
    probePorts();

    StartUpResult result;
    const QString stored = m_settings.readValue(kSection, kKeyCommPort);
    if (stored.contains(QStringLiteral("TCP"))) {
        m_tcpMode = true;
        const QString host = m_settings.readValue(kSection, kKeyIp);
        result.lineText = host;
        m_tcpClient.setRemoteHost(host);
        bool ok = false;
        const qint32 port = m_settings.readValue(kSection, kKeyPort).toInt(&ok);
        // A number that names no TCP port is as unusable as no number.
        if (ok && port >= 0 && port <= kMaxTcpPort)
            m_tcpClient.setRemotePort(port);
        result.channelText = kTcpText;
        return result;
    }

    const int number = leadingNumber(stored);
    const QString code = m_settings.readValue(kSection, kKeyCommBaud);
    int rate = ChannelSettings::kBaudRates[kFallbackBaudCode];
    if (code.size() == 1 && code.at(0) >= u'0' && code.at(0) <= u'5') {
        rate = ChannelSettings::kBaudRates[code.at(0).digitValue()];
    } else {
        m_settings.writeValue(kSection, kKeyCommBaudWritten, QString::number(kFallbackBaudCode));
    }
    m_serialPort.setSettings(lineSettingsText(rate));
    result.lineText = m_serialPort.settings();
    if (portPresent(number))
        m_serialPort.setCommPort(number);
    result.channelText = comPortText(m_serialPort.commPort());
    return result;
}

void ChannelManager::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void ChannelManager::open()
{
    if (m_state != State::Closed)
        return;
    m_lossReported = false;
    if (m_tcpMode) {
        m_tcpClient.connectToIndicator();
        setState(State::Connecting);
        return;
    }
    if (reportPortFailure(m_serialPort.setPortOpen(true)))
        return;
    setState(State::Open);
}

void ChannelManager::close()
{
    if (m_tcpMode)
        m_tcpClient.close();
    else
        m_serialPort.setPortOpen(false);
    setState(State::Closed);
}

// True when the serial port did not open; the operator has been told why.
bool ChannelManager::reportPortFailure(int error)
{
    if (error == SerialPort::kNoError)
        return false;
    if (const auto failure = describePortFailure(error, m_serialPort.devicePath()))
        emit failed(failure->title, failure->text);
    return true;
}

void ChannelManager::changeSerialPort(const std::function<void(SerialPort&)>& change)
{
    if (!m_serialPort.portOpen()) {
        change(m_serialPort);
        return;
    }
    m_serialPort.setPortOpen(false);
    change(m_serialPort);
    const int error = m_serialPort.setPortOpen(true);
    if (error == SerialPort::kNoError)
        return;
    if (m_serialPort.portOpen())
        m_serialPort.setPortOpen(false);
    reportPortFailure(error);
    setState(State::Closed);
}

ChannelManager::Shown ChannelManager::choosePort(int channelCode)
{
    const int old = this->channelCode();
    Shown shown;
    if (channelCode == kTcpChannel) {
        m_tcpMode = true;
        if (old != kTcpChannel) {
            m_settings.writeValue(kSection, kKeyCommPort, QStringLiteral("TCP"));
            shown.channelText = kTcpText;
            shown.lineTextChanged = true;
        }
        return shown;
    }
    m_tcpMode = false;
    if (channelCode != old) {
        changeSerialPort([channelCode](SerialPort& port) { port.setCommPort(channelCode); });
        m_settings.writeValue(kSection, kKeyCommPort, QString::number(channelCode));
    }
    shown.channelText = comPortText(channelCode);
    return shown;
}

QString ChannelManager::channelDescription() const
{
    if (m_tcpMode)
        return m_tcpClient.remoteHost() + u':' + QString::number(m_tcpClient.remotePort());
    return QStringLiteral("COM %1 %2").arg(m_serialPort.commPort()).arg(m_serialPort.devicePath());
}

int ChannelManager::lineRate() const
{
    return m_tcpMode ? 0 : m_serialPort.settings().section(u',', 0, 0).trimmed().toInt();
}

ChannelSettings ChannelManager::channelSettings() const
{
    ChannelSettings settings;
    settings.channelCode = channelCode();
    for (int k = 1; k <= SerialPort::kPortCount; ++k) {
        settings.devices.at(k - 1) = m_serialPort.portName(k);
        settings.present.at(k - 1) = portPresent(k);
    }
    settings.host = m_tcpClient.remoteHost();
    settings.port = m_tcpClient.remotePort();
    return settings;
}

int ChannelManager::rateForDialog()
{
    // The rate text must be one of the six as it stands: " 9600" is none of them.
    const QString inForce = m_serialPort.settings().section(u',', 0, 0);
    for (const int rate : ChannelSettings::kBaudRates) {
        if (QString::number(rate) == inForce)
            return rate;
    }
    // A rate the dialog cannot show is replaced at once, whatever the operator does next.
    m_serialPort.setSettings(lineSettingsText(kDialogFallbackRate));
    return kDialogFallbackRate;
}

QString ChannelManager::chooseRate(int rate)
{
    const QString lineSettings = lineSettingsText(rate);
    // Compared by rate: a line set as "4800" alone is at 4800 already.
    if (QString::number(rate) != m_serialPort.settings().section(u',', 0, 0)) {
        changeSerialPort([&lineSettings](SerialPort& port) { port.setSettings(lineSettings); });
        m_settings.writeValue(kSection, kKeyCommBaudWritten, QString::number(baudCode(rate)));
    }
    return lineSettings;
}

void ChannelManager::reportLoss(const QString& reason)
{
    if (m_lossReported)
        return;
    m_lossReported = true;
    QString text = QStringLiteral("The connection to the indicator at %1 was lost.")
                       .arg(activeChannel().channelName());
    if (!reason.isEmpty())
        text += QStringLiteral("\r\n\r\n") + reason;
    emit failed(m_tcpMode ? QStringLiteral("TCP/IP ERROR") : QStringLiteral("Port Error"), text);
}

void ChannelManager::onTcpError(int number, const QString& description)
{
    // A query or a download in progress fails with the socket and reports the loss itself, with
    // what it means for the indicator: one message, not two.
    if (!taskRunning()) {
        m_lossReported = true;
        emit failed(QStringLiteral("TCP/IP ERROR"),
                    QStringLiteral("Error: ") + TextRoutines::numberText(number) +
                        QStringLiteral("\r\n\r\n") + description + QStringLiteral("\r\n"));
    }
    if (m_tcpMode && m_state != State::Closed)
        close();
}

void ChannelManager::onChannelLost(const QString& reason)
{
    if (m_state == State::Closed)
        return;
    const bool toldByTask = taskRunning();
    close();
    if (!toldByTask)
        reportLoss(reason);
}
