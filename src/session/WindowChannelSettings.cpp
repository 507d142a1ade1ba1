#include "session/WindowChannelSettings.h"

#include "link/ChannelFactory.h"
#include "platform/SettingsKeys.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr qint32 kMaxTcpPort = 65535;

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

WindowChannelSettings::WindowChannelSettings(IndicatorSession& session, const QString& settingsPath)
    : m_session(session)
    , m_store(settingsPath)
{
}

bool WindowChannelSettings::portPresent(int comNumber) const
{
    return ComPorts::isComNumber(comNumber) && m_portPresent[comNumber - 1];
}

void WindowChannelSettings::setPortPresent(int comNumber, bool present)
{
    if (ComPorts::isComNumber(comNumber))
        m_portPresent[comNumber - 1] = present;
}

// A COM port is present unless opening it says there is no such port.
void WindowChannelSettings::probePorts()
{
    const ComPorts& ports = m_session.comPorts();
    for (int k = 1; k <= ComPorts::kCount; ++k) {
        const auto channel = ChannelFactory::make(PortAddress::com(k), ports);
        bool absent = false;
        QObject::connect(channel.get(), &LineChannel::failed, [&absent](const ChannelFailure& f) {
            absent = f.kind == ChannelFailure::Kind::NoSuchPort;
        });
        channel->open();
        channel->close();
        m_portPresent[k - 1] = !absent;
    }
}

void WindowChannelSettings::startUp()
{
    using namespace SettingsKeys;
    m_session.setComPorts(ComPorts::fromSettings(m_store));
    probePorts();
    const QString stored = m_store.readValue(kCommSection, kCommPort);
    if (stored.contains(kCommPortTls, Qt::CaseInsensitive)) {
        readHost();
        readTlsTrust();
        if (m_store.readValue(kCommSection, kTlsMode).compare(kTlsModeRaw, Qt::CaseInsensitive) ==
            0) {
            m_session.setLineSettings(LineSettings::at(kSerialDefaultRate));
            m_session.setAddress(PortAddress::tls(m_host, m_port));
        } else {
            m_session.setLineSettings(LineSettings::at(storedRate()));
            m_session.setAddress(PortAddress::rfc2217Tls(m_host, m_port));
        }
    } else if (stored.contains(kCommPortRfc2217, Qt::CaseInsensitive)) {
        readHost();
        m_session.setLineSettings(LineSettings::at(storedRate()));
        m_session.setAddress(PortAddress::rfc2217(m_host, m_port));
    } else if (stored.contains(kCommPortTcp)) {
        readHost();
        m_session.setLineSettings(LineSettings::at(kSerialDefaultRate));
        m_session.setAddress(PortAddress::tcp(m_host, m_port));
    } else {
        const int number = leadingNumber(stored);
        m_session.setLineSettings(LineSettings::at(storedRate()));
        // The probe leaves the last port it tried, COM 8, in force when the file names none
        // that was found.
        m_session.setAddress(PortAddress::com(portPresent(number) ? number : ComPorts::kCount));
    }
}

void WindowChannelSettings::readHost()
{
    using namespace SettingsKeys;
    bool ok = false;
    const qint32 port = m_store.readValue(kCommSection, kPort).toInt(&ok);
    // A number that names no TCP port is as unusable as no number.
    const bool valid = ok && port >= 0 && port <= kMaxTcpPort;
    m_host = m_store.readValue(kCommSection, kIp);
    m_port = valid ? quint16(port) : quint16(0);
}

void WindowChannelSettings::readTlsTrust()
{
    using namespace SettingsKeys;
    // A portable copy carries its certificates beside the settings file.
    const QDir folder = QFileInfo(m_store.path()).absoluteDir();
    const auto file = [&](const QString& key) {
        const QString path = m_store.readValue(kCommSection, key);
        return path.isEmpty() ? path : QDir::cleanPath(folder.absoluteFilePath(path));
    };
    TlsTrust trust;
    trust.caFile = file(kCa);
    trust.certFile = file(kCert);
    trust.keyFile = file(kKey);
    trust.pin = m_store.readValue(kCommSection, kPin);
    m_session.setTlsTrust(trust);
}

int WindowChannelSettings::storedRate()
{
    using namespace SettingsKeys;
    const QString code = m_store.readValue(kCommSection, kCommBaud);
    if (code.size() == 1 && code.at(0).isDigit() &&
        size_t(code.at(0).digitValue()) < LineSettings::kRates.size())
        return LineSettings::kRates[size_t(code.at(0).digitValue())];
    m_store.writeValue(kCommSection, kCommBaud, QString::number(kFallbackRateCode));
    return LineSettings::kRates[kFallbackRateCode];
}

ChannelSettings WindowChannelSettings::inForce() const
{
    ChannelSettings settings;
    const PortAddress& address = m_session.address();
    settings.channel = address.kind == PortAddress::Kind::Com
                           ? ChannelSettings::Choice::com(address.comNumber)
                           : ChannelSettings::Choice::network();
    for (int k = 1; k <= ComPorts::kCount; ++k) {
        settings.devices.at(k - 1) = m_session.comPorts().device(k);
        settings.present.at(k - 1) = portPresent(k);
    }
    settings.rate = address.takesRate() ? m_session.lineSettings().rate : 0;
    settings.host = m_host;
    settings.port = m_port;
    return settings;
}

// The menu offers no choice under an open serial port; should one come all the same, the port is
// closed, changed and opened again, and a reopen that fails leaves it closed and is told.
void WindowChannelSettings::reopenAround(const std::function<void()>& change)
{
    const bool reopen =
        m_session.state() == IndicatorSession::State::Open && !m_session.address().isNetwork();
    if (reopen)
        m_session.close();
    change();
    if (reopen)
        m_session.open();
}

bool WindowChannelSettings::choosePort(ChannelSettings::Choice choice)
{
    using namespace SettingsKeys;
    if (choice == inForce().channel)
        return false;
    if (choice.isNetwork()) {
        m_session.setAddress(PortAddress::tcp(m_host, m_port));
        m_store.writeValue(kCommSection, kCommPort, kCommPortTcp);
        return true;
    }
    reopenAround([&] { m_session.setAddress(PortAddress::com(choice.comNumber)); });
    m_store.writeValue(kCommSection, kCommPort, QString::number(choice.comNumber));
    return true;
}

void WindowChannelSettings::chooseRate(int rate)
{
    if (rate == m_session.lineSettings().rate)
        return;
    // A device server's line takes the rate at once, on its open connection.
    reopenAround([&] { m_session.setLineSettings(LineSettings::at(rate)); });
    m_store.writeValue(SettingsKeys::kCommSection, SettingsKeys::kCommBaud,
                       QString::number(LineSettings::rateCode(rate)));
}

void WindowChannelSettings::chooseHost(const QString& host)
{
    m_host = host;
    // Inside TLS the port stays inside TLS: only the host changes.
    m_session.setAddress(m_session.address().isTls() ? m_session.address().withHost(m_host)
                                                     : PortAddress::tcp(m_host, m_port));
}

int WindowChannelSettings::rateForDialog()
{
    const int rate = m_session.lineSettings().rate;
    if (LineSettings::isIndicatorRate(rate))
        return rate;
    m_session.setLineSettings(LineSettings::at(kDialogFallbackRate));
    return kDialogFallbackRate;
}
