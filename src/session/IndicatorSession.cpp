#include "session/IndicatorSession.h"

#include "link/PortFailure.h"
#include "platform/SettingsStore.h"
#include "platform/TextRoutines.h"
#include "session/PortIdentity.h"

namespace {
// Marked here, translated where used: the translator is installed after these are made.
const char* const kPortError = QT_TRANSLATE_NOOP("IndicatorSession", "Port Error");
const char* const kTcpError = QT_TRANSLATE_NOOP("IndicatorSession", "TCP/IP ERROR");
const char* const kCommunicationError =
    QT_TRANSLATE_NOOP("IndicatorSession", "Communication Error");
const char* const kNoResponse = QT_TRANSLATE_NOOP("IndicatorSession", "Indicator does not respond");
// "0" turns the low-latency request on USB adapters off; anything else leaves it on.
const QString kSerialPortSection = QStringLiteral("SerialPort");
const QString kKeyLowLatency = QStringLiteral("LowLatency");
} // namespace

IndicatorSession::IndicatorSession(UiServices& ui, QObject* parent)
    : QObject(parent)
    , m_downloader(m_exchange, ui)
{
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &IndicatorSession::onConnectLimit);
    connect(&m_tcpClient, &TcpClient::errorOccurred, this, &IndicatorSession::onNetworkError);
    connect(&m_tcpClient, &TcpClient::connected, this, &IndicatorSession::onNetworkConnected);
    connect(&m_tcpClient, &LineChannel::channelLost, this, &IndicatorSession::onChannelLost);
    connect(&m_rfc2217, &Rfc2217Channel::errorOccurred, this, &IndicatorSession::onNetworkError);
    connect(&m_rfc2217, &Rfc2217Channel::connected, this, &IndicatorSession::onNetworkConnected);
    connect(&m_rfc2217, &LineChannel::channelLost, this, &IndicatorSession::onChannelLost);
    connect(&m_serialPort, &LineChannel::channelLost, this, &IndicatorSession::onChannelLost);
    connect(&m_query, &IndicatorQuery::versionReceived, this, [this](const QByteArray& version) {
        m_version = version;
        emit versionReceived(version);
    });
    connect(&m_query, &IndicatorQuery::serialReceived, this, [this](const QByteArray& serial) {
        m_serial = serial;
        emit serialReceived(serial);
    });
    connect(&m_query, &IndicatorQuery::finished, this, &IndicatorSession::onQueryFinished);
    connect(&m_downloader, &Downloader::finished, this, [this] {
        // A download that would not start (its layout refused) sent nothing: not a success.
        const Downloader::Outcome outcome = m_downloader.outcome();
        if (m_runActive)
            endRun(outcome == Downloader::Outcome::None ? Downloader::Outcome::Refused : outcome);
    });
}

// The downloader, the query and the exchange go before the channels they talk to.
IndicatorSession::~IndicatorSession() = default;

void IndicatorSession::applyPortSettings(const SettingsStore& settings)
{
    for (int k = 1; k <= SerialPort::kPortCount; ++k)
        m_serialPort.setPortName(k, PortIdentity::comDevice(settings, k));
    m_serialPort.setLowLatency(settings.readValue(kSerialPortSection, kKeyLowLatency) !=
                               QStringLiteral("0"));
}

void IndicatorSession::setAddress(const PortAddress& address)
{
    m_address = address;
    switch (address.kind) {
    case PortAddress::Kind::Com:
        changeSerialPort([&](SerialPort& port) { port.setCommPort(address.comNumber); });
        break;
    case PortAddress::Kind::Device:
        // A device path stands in for COM 1 of this session.
        changeSerialPort([&](SerialPort& port) {
            port.setPortName(1, address.device);
            port.setCommPort(1);
        });
        break;
    case PortAddress::Kind::Tcp:
        m_tcpClient.setRemoteHost(address.host);
        m_tcpClient.setRemotePort(address.tcpPort);
        break;
    case PortAddress::Kind::Rfc2217:
        m_rfc2217.setRemoteHost(address.host);
        m_rfc2217.setRemotePort(address.tcpPort);
        break;
    }
}

void IndicatorSession::setLogName(const QString& name)
{
    m_exchange.setLogName(name);
    m_serialPort.setLogName(name);
}

void IndicatorSession::setRate(int rate)
{
    // Behind RFC 2217 the device server sets its line at once, also while the channel is open.
    m_rfc2217.setBaudRate(rate);
    const QString settings = SerialPort::lineSettings(rate);
    changeSerialPort([&](SerialPort& port) { port.setSettings(settings); });
}

// A setting the driver takes only while the port is closed: an open port is closed, changed and
// opened again; if it does not open, it stays closed and the operator is told.
void IndicatorSession::changeSerialPort(const std::function<void(SerialPort&)>& change)
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
    setState(State::Closed);
    fail(portFailure(error, m_serialPort.devicePath()));
}

LineChannel& IndicatorSession::channel()
{
    return const_cast<LineChannel&>(std::as_const(*this).channel());
}

const LineChannel& IndicatorSession::channel() const
{
    switch (m_address.kind) {
    case PortAddress::Kind::Tcp:
        return m_tcpClient;
    case PortAddress::Kind::Rfc2217:
        return m_rfc2217;
    case PortAddress::Kind::Com:
    case PortAddress::Kind::Device:
        break;
    }
    return m_serialPort;
}

QString IndicatorSession::channelDescription() const
{
    switch (m_address.kind) {
    case PortAddress::Kind::Com:
        return QStringLiteral("COM %1 %2")
            .arg(m_serialPort.commPort())
            .arg(m_serialPort.devicePath());
    case PortAddress::Kind::Device:
        return m_serialPort.devicePath();
    case PortAddress::Kind::Rfc2217:
        return m_rfc2217.channelName();
    case PortAddress::Kind::Tcp:
        break;
    }
    return m_tcpClient.remoteHost() + u':' + QString::number(m_tcpClient.remotePort());
}

int IndicatorSession::lineRate() const
{
    if (isRfc2217())
        return m_rfc2217.baudRate();
    return isTcp() ? 0 : m_serialPort.rateText().trimmed().toInt();
}

void IndicatorSession::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
    if (m_runActive)
        continueRun();
}

void IndicatorSession::open()
{
    if (m_state != State::Closed)
        return;
    m_lossReported = false;
    // A new line: nothing from an earlier one is owed or known, and what arrives before the
    // first command answers none of them.
    m_exchange.setChannel(&channel());
    m_exchange.resetLine();
    if (!isNetwork()) {
        openSerial();
        return;
    }
    setState(State::Connecting);
    if (m_connectLimit.count() > 0)
        m_connectTimer.start(m_connectLimit);
    if (isTcp())
        m_tcpClient.connectToIndicator();
    else
        m_rfc2217.connectToIndicator();
}

void IndicatorSession::onNetworkConnected()
{
    m_connectTimer.stop();
    if (m_state == State::Connecting &&
        (isTcp() ? m_tcpClient.isConnected() : isRfc2217() && m_rfc2217.isConnected()))
        setState(State::Open);
}

void IndicatorSession::openSerial()
{
    const int error = m_serialPort.setPortOpen(true);
    if (error != SerialPort::kNoError) {
        fail(portFailure(error, m_serialPort.devicePath()));
        return;
    }
    setState(State::Open);
}

void IndicatorSession::close()
{
    m_connectTimer.stop();
    if (isTcp())
        m_tcpClient.close();
    else if (isRfc2217())
        m_rfc2217.close();
    else
        m_serialPort.setPortOpen(false);
    setState(State::Closed);
}

IndicatorSession::Failure IndicatorSession::portFailure(int error, const QString& device)
{
    const auto described = describePortFailure(error, device);
    if (!described)
        return {};
    return {Failure::Kind::PortNotOpened, described->title, described->text};
}

IndicatorSession::Failure IndicatorSession::lossFailure(const QString& reason) const
{
    QString text =
        tr("The connection to the indicator at %1 was lost.").arg(channel().channelName());
    if (!reason.isEmpty())
        text += QStringLiteral("\r\n\r\n") + reason;
    return {Failure::Kind::Lost, tr(isNetwork() ? kTcpError : kPortError), text};
}

void IndicatorSession::fail(const Failure& failure)
{
    if (failure.kind == Failure::Kind::None)
        return;
    emit failed(failure);
    if (m_runActive)
        continueRun();
}

// The channel's loss, told once since it was opened.
void IndicatorSession::reportLoss(const QString& reason)
{
    if (m_lossReported)
        return;
    m_lossReported = true;
    fail(lossFailure(reason));
}

void IndicatorSession::onNetworkError(int number, const QString& description)
{
    m_connectTimer.stop();
    // A query or a download in progress fails with the socket and reports the loss itself, with
    // what it means for the indicator: one message, not two.
    if (!isBusy()) {
        m_lossReported = true;
        fail({m_state == State::Open ? Failure::Kind::Lost : Failure::Kind::Unreachable,
              tr(kTcpError),
              tr("Error: %1\r\n\r\n%2\r\n").arg(TextRoutines::numberText(number), description)});
    }
    if (isNetwork() && m_state != State::Closed)
        close();
}

void IndicatorSession::onConnectLimit()
{
    if (m_state != State::Connecting)
        return;
    close();
    fail({Failure::Kind::Unreachable, tr(kTcpError),
          tr("%1 did not accept the connection within %2 s.")
              .arg(channelDescription(),
                   QString::number(
                       std::chrono::duration_cast<std::chrono::seconds>(m_connectLimit).count()))});
}

void IndicatorSession::onChannelLost(const QString& reason)
{
    if (m_state == State::Closed)
        return;
    const bool toldByTask = isBusy();
    close();
    if (!toldByTask)
        reportLoss(reason);
}

void IndicatorSession::query()
{
    if (isBusy() || m_state == State::Closed)
        return;
    m_query.start();
}

// The query's end comes first, its failure's message after it: a view has left its busy look
// by the time the message is shown.
void IndicatorSession::onQueryFinished(bool ok)
{
    if (ok) {
        m_runQueried = true;
        emit queryFinished(true);
        if (m_runActive)
            continueRun();
        return;
    }
    Failure failure{Failure::Kind::NoAnswer, tr(kCommunicationError), tr(kNoResponse)};
    switch (m_exchange.lastFailure()) {
    case CommandExchange::Failure::ChannelLost:
        failure = lossFailure(m_exchange.lostReason());
        break;
    case CommandExchange::Failure::Nak:
        failure.kind = Failure::Kind::QueryRefused;
        break;
    default:
        break;
    }
    const bool tell = failure.kind != Failure::Kind::Lost || !m_lossReported;
    if (failure.kind == Failure::Kind::Lost)
        m_lossReported = true;
    emit queryFinished(false);
    if (tell)
        emit failed(failure);
    if (m_runActive)
        endRun(failure.kind == Failure::Kind::Lost           ? Downloader::Outcome::Lost
               : failure.kind == Failure::Kind::QueryRefused ? Downloader::Outcome::Refused
                                                             : Downloader::Outcome::Stopped);
}

bool IndicatorSession::download(const SlotTable::Contents& contents, const SlotTable::Paths& paths)
{
    if (isBusy() || m_state == State::Closed)
        return false;
    m_recorder.prepare({channelDescription(), lineRate(), DownloadRecord::indicatorText(m_version),
                        DownloadRecord::indicatorText(m_serial)},
                       contents, paths);
    m_downloader.start(contents);
    return true;
}

void IndicatorSession::run(Task task, const SlotTable::Contents& contents,
                           const SlotTable::Paths& paths)
{
    if (m_runActive || m_state != State::Closed)
        return;
    m_runActive = true;
    m_runTask = task;
    m_runContents = contents;
    m_runPaths = paths;
    m_runOutcome = Downloader::Outcome::None;
    m_runQueried = false;
    m_version.clear();
    m_serial.clear();
    m_runClock.start();
    // So that a run that ends before its download has a record all the same.
    m_recorder.prepare({channelDescription(), lineRate(), {}, {}}, contents, paths);
    if (m_cancelRequested) {
        endRun(Downloader::Outcome::Cancelled);
        return;
    }
    open();
}

// The next step of a run, from what the session has reached.
void IndicatorSession::continueRun()
{
    if (m_cancelRequested && !m_downloader.isRunning()) {
        endRun(Downloader::Outcome::Cancelled);
        return;
    }
    if (m_state == State::Closed && !isBusy()) {
        endRun(Downloader::Outcome::Lost);
        return;
    }
    if (m_state != State::Open || isBusy())
        return;
    if (!m_runQueried) {
        query();
        return;
    }
    if (m_runTask == Task::Query) {
        endRun(Downloader::Outcome::None);
        return;
    }
    download(m_runContents, m_runPaths);
}

void IndicatorSession::cancelRun()
{
    m_cancelRequested = true;
    if (!m_runActive)
        return;
    if (m_downloader.isRunning()) {
        m_downloader.cancel();
        return;
    }
    // A query changes nothing in the indicator: it is given up at once.
    if (m_query.isRunning())
        m_query.abandon();
    endRun(Downloader::Outcome::Cancelled);
}

void IndicatorSession::endRun(Downloader::Outcome outcome)
{
    if (!m_runActive)
        return;
    m_runActive = false;
    m_runOutcome = outcome;
    if (!m_downloader.isRunning() && m_downloader.commandsSent() == 0)
        m_recorder.finishUnsent(outcome, std::chrono::milliseconds(m_runClock.elapsed()),
                                DownloadRecord::indicatorText(m_version),
                                DownloadRecord::indicatorText(m_serial));
    close();
    emit runFinished();
}
