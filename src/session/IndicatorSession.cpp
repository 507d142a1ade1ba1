#include "session/IndicatorSession.h"

#include "link/ChannelFactory.h"

IndicatorSession::IndicatorSession(QObject* parent)
    : QObject(parent)
{
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &IndicatorSession::onConnectLimit);
    connect(&m_query, &IndicatorQuery::versionReceived, this, [this](const QByteArray& version) {
        m_version = version;
        emit versionReceived(version);
    });
    connect(&m_query, &IndicatorQuery::serialReceived, this, [this](const QByteArray& serial) {
        m_serial = serial;
        emit serialReceived(serial);
    });
    connect(&m_query, &IndicatorQuery::finished, this, &IndicatorSession::onQueryFinished);
    makeChannel();
}

IndicatorSession::~IndicatorSession() = default;

void IndicatorSession::makeChannel()
{
    m_channel = ChannelFactory::make(m_address, m_ports, m_trust);
    m_channelStale = false;
    m_channel->setLogName(m_logName);
    m_channel->setLineSettings(m_lineSettings);
    connect(m_channel.get(), &LineChannel::stateChanged, this, &IndicatorSession::onChannelState);
    connect(m_channel.get(), &LineChannel::failed, this, &IndicatorSession::onChannelFailed);
}

void IndicatorSession::setComPorts(const ComPorts& ports)
{
    m_ports = ports;
    if (m_state == State::Closed)
        makeChannel();
    else
        m_channelStale = true;
}

void IndicatorSession::setTlsTrust(const TlsTrust& trust)
{
    m_trust = trust;
    if (m_state == State::Closed)
        makeChannel();
    else
        m_channelStale = true;
}

void IndicatorSession::setAddress(const PortAddress& address)
{
    m_address = address;
    if (m_state == State::Closed)
        makeChannel();
    else
        m_channelStale = true;
}

void IndicatorSession::setLineSettings(const LineSettings& settings)
{
    m_lineSettings = settings;
    m_channel->setLineSettings(settings);
}

void IndicatorSession::setLogName(const QString& name)
{
    m_logName = name;
    m_exchange.setLogName(name);
    m_channel->setLogName(name);
}

int IndicatorSession::lineRate() const
{
    const std::optional<LineSettings> settings = m_channel->lineSettings();
    return settings ? settings->rate : 0;
}

void IndicatorSession::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void IndicatorSession::open()
{
    if (m_state != State::Closed)
        return;
    if (m_channelStale)
        makeChannel();
    m_lossReported = false;
    m_cancelRequested = false;
    // The line may lead to another indicator than the last one.
    m_version.clear();
    m_serial.clear();
    // A new line: nothing from an earlier one is owed or known, and what arrives before the
    // first command answers none of them.
    m_exchange.setChannel(m_channel.get());
    m_exchange.resetLine();
    m_channel->open();
}

void IndicatorSession::close()
{
    m_connectTimer.stop();
    m_channel->close();
    setState(State::Closed);
}

void IndicatorSession::onChannelState(LineChannel::State state)
{
    switch (state) {
    case LineChannel::State::Opening:
        if (m_connectLimit.count() > 0)
            m_connectTimer.start(m_connectLimit);
        setState(State::Connecting);
        return;
    case LineChannel::State::Open:
        m_connectTimer.stop();
        setState(State::Open);
        return;
    case LineChannel::State::Closed:
        // Our own close, or a failure that onChannelFailed() tells.
        return;
    }
}

void IndicatorSession::onChannelFailed(const ChannelFailure& failure)
{
    m_connectTimer.stop();
    const State was = m_state;
    // A query or a download in progress fails with the channel and reports the loss itself, with
    // what it means for the indicator: one message, not two.
    const bool toldByTask = isBusy();
    setState(State::Closed);
    if (toldByTask)
        return;
    // A server that refuses our certificate says so once the handshake seems done: before the
    // indicator ever answered, the channel was never really open.
    if (was != State::Open || failure.isTrustRefusal()) {
        emit failed(failureOf(failure.isPortNotOpened() ? SessionFailure::Kind::PortNotOpened
                                                        : SessionFailure::Kind::Unreachable,
                              failure));
        return;
    }
    if (std::exchange(m_lossReported, true))
        return;
    emit failed(failureOf(SessionFailure::Kind::Lost, failure));
}

void IndicatorSession::onConnectLimit()
{
    if (m_state != State::Connecting)
        return;
    close();
    SessionFailure failure = failureOf(SessionFailure::Kind::Unreachable,
                                       ChannelFailure::of(ChannelFailure::Kind::ConnectTimeout, 0));
    failure.connectLimit = std::chrono::duration_cast<std::chrono::seconds>(m_connectLimit);
    emit failed(failure);
}

SessionFailure IndicatorSession::failureOf(SessionFailure::Kind kind,
                                           const ChannelFailure& channel) const
{
    SessionFailure failure;
    failure.kind = kind;
    failure.channel = channel;
    failure.name = m_channel->channelName();
    failure.description = m_channel->description();
    failure.network = m_address.isNetwork();
    failure.rate = lineRate();
    return failure;
}

void IndicatorSession::query()
{
    if (isBusy() || m_state == State::Closed)
        return;
    m_cancelRequested = false;
    m_queryFailure = {};
    m_query.start();
}

// The query's end comes first, its failure's message after it: a view has left its busy look
// by the time the message is shown.
void IndicatorSession::onQueryFinished(bool ok)
{
    if (ok) {
        emit queryFinished(true);
        return;
    }
    SessionFailure failure = failureOf(SessionFailure::Kind::NoAnswer);
    switch (m_exchange.lastFailure()) {
    case CommandExchange::Failure::ChannelLost:
        // Refused trust ends the channel before the indicator's first answer: it never opened.
        if (m_exchange.lostFailure().isTrustRefusal()) {
            failure = failureOf(SessionFailure::Kind::Unreachable, m_exchange.lostFailure());
            break;
        }
        failure = failureOf(SessionFailure::Kind::Lost, m_exchange.lostFailure());
        failure.duringQuery = true;
        break;
    case CommandExchange::Failure::Nak:
        failure.kind = SessionFailure::Kind::QueryRefused;
        break;
    default:
        break;
    }
    m_queryFailure = failure;
    const bool lost = failure.kind == SessionFailure::Kind::Lost ||
                      failure.kind == SessionFailure::Kind::Unreachable;
    const bool tell = !lost || !std::exchange(m_lossReported, true);
    emit queryFinished(false);
    if (tell)
        emit failed(failure);
}

void IndicatorSession::recordTarget()
{
    m_recorder.setTarget({channelDescription(), lineRate(),
                          DownloadRecord::indicatorText(m_version),
                          DownloadRecord::indicatorText(m_serial), m_channel->peerIdentity()});
}

void IndicatorSession::prepareDownload(const SlotTable::Contents& contents,
                                       const SlotTable::Paths& paths)
{
    m_prepared = contents;
    m_recorder.prepare(contents, paths);
    recordTarget();
}

bool IndicatorSession::startDownload()
{
    if (isBusy() || m_state == State::Closed)
        return false;
    m_cancelRequested = false;
    recordTarget();
    m_downloader.start(m_prepared);
    return true;
}

bool IndicatorSession::download(const SlotTable::Contents& contents, const SlotTable::Paths& paths)
{
    if (isBusy() || m_state == State::Closed)
        return false;
    prepareDownload(contents, paths);
    return startDownload();
}

void IndicatorSession::cancel()
{
    m_cancelRequested = true;
    if (m_downloader.isRunning())
        m_downloader.cancel();
    else if (m_query.isRunning())
        // A query changes nothing in the indicator: it is given up at once.
        m_query.abandon();
}

void IndicatorSession::abandon()
{
    m_downloader.abandon();
}
