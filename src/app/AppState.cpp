#include "app/AppState.h"

#include "platform/TextRoutines.h"

AppState::AppState(const QString& settingsPath, QObject* parent)
    : QObject(parent)
    , m_settings(settingsPath)
{
}

QString AppState::comPortText(int comNumber)
{
    return QStringLiteral("COM ") + SubRoutines::NumberText(comNumber);
}

QString AppState::lineSettingsText(int rate)
{
    return QString::number(rate) + QStringLiteral(",n,8,1");
}

int AppState::baudCode(int rate)
{
    for (size_t i = 0; i < kBaudRates.size(); ++i) {
        if (kBaudRates[i] == rate)
            return static_cast<int>(i);
    }
    return -1;
}

LineChannel& AppState::activeChannel()
{
    if (TcpMode)
        return m_tcpClient;
    return m_commPort1;
}

void AppState::readPortNames()
{
    for (int k = 1; k <= SerialPort::kPortCount; ++k) {
        const QString device =
            m_settings.ReadIniValue(kPortNamesSection, QStringLiteral("COM%1").arg(k));
        m_commPort1.setPortName(k, device);
    }
}

void AppState::probePorts()
{
    for (int k = 1; k <= SerialPort::kPortCount; ++k) {
        PortPresent[k - 1] = true;
        m_commPort1.setCommPort(k);
        if (m_commPort1.setPortOpen(true) == SerialPort::kErrNoSuchPort)
            PortPresent[k - 1] = false;
        if (m_commPort1.PortOpen())
            m_commPort1.setPortOpen(false);
    }
}

// The whole decimal number at the start of the text, blanks before it ignored; 0 without one.
static int leadingNumber(const QString& text)
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

AppState::StartUpResult AppState::StartUp()
{
    readPortNames();
    probePorts();

    StartUpResult result;
    const QString stored = m_settings.ReadIniValue(kSection, kKeyCommPort);
    if (stored.contains(QStringLiteral("TCP"))) {
        TcpMode = true;
        const QString host = m_settings.ReadIniValue(kSection, kKeyIp);
        result.lineText = host;
        m_tcpClient.setRemoteHost(host);
        bool ok = false;
        const qint32 port = m_settings.ReadIniValue(kSection, kKeyPort).toInt(&ok);
        // A number that names no TCP port is as unusable as no number.
        if (ok && port >= 0 && port <= kMaxTcpPort)
            m_tcpClient.setRemotePort(port);
        result.channelText = QStringLiteral("TCP/IP");
        return result;
    }

    const int number = leadingNumber(stored);
    const QString code = m_settings.ReadIniValue(kSection, kKeyCommBaud);
    int rate = kBaudRates[kFallbackBaudCode];
    if (code.size() == 1 && code.at(0) >= u'0' && code.at(0) <= u'5') {
        rate = kBaudRates[code.at(0).digitValue()];
    } else {
        m_settings.WriteIniValue(kSection, kKeyCommBaudWritten, QString::number(kFallbackBaudCode));
    }
    m_commPort1.setSettings(lineSettingsText(rate));
    result.lineText = m_commPort1.Settings();
    if (number >= 1 && number <= SerialPort::kPortCount && PortPresent[number - 1])
        m_commPort1.setCommPort(number);
    result.channelText = comPortText(m_commPort1.CommPort());
    return result;
}
