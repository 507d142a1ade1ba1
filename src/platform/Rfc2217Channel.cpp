#include "platform/Rfc2217Channel.h"

namespace {

using Command = TelnetCodec::ComPortCommand;

QString secondsText(std::chrono::milliseconds time)
{
    return QString::number(std::chrono::duration<double>(time).count());
}

// The settings' names are words of the sentence they stand in, in the window's language.
QString parityName(int code)
{
    static const char* const names[] = {QT_TRANSLATE_NOOP("Rfc2217Channel", "unknown"),
                                        QT_TRANSLATE_NOOP("Rfc2217Channel", "none"),
                                        QT_TRANSLATE_NOOP("Rfc2217Channel", "odd"),
                                        QT_TRANSLATE_NOOP("Rfc2217Channel", "even"),
                                        QT_TRANSLATE_NOOP("Rfc2217Channel", "mark"),
                                        QT_TRANSLATE_NOOP("Rfc2217Channel", "space")};
    return Rfc2217Channel::tr(code >= 1 && code <= 5 ? names[code] : names[0]);
}

QString stopBitsName(int code)
{
    static const char* const names[] = {"1", "2", "1.5"};
    return code >= 1 && code <= 3 ? QString::fromLatin1(names[code - 1])
                                  : Rfc2217Channel::tr("unknown");
}

QString flowControlName(int code)
{
    return code == TelnetCodec::kXonXoffFlowControl ? QStringLiteral("XON/XOFF")
                                                    : Rfc2217Channel::tr("hardware");
}

} // namespace

Rfc2217Channel::Rfc2217Channel(std::unique_ptr<LineChannel> transport, QObject* parent)
    : LineChannel(parent)
    , m_transport(std::move(transport))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Rfc2217Channel::onTimeout);
    connect(m_transport.get(), &LineChannel::stateChanged, this, [this](State state) {
        if (state == State::Open && m_phase == Phase::Connecting)
            onConnected();
    });
    connect(m_transport.get(), &LineChannel::bytesReceived, this, &Rfc2217Channel::onReceived);
    connect(m_transport.get(), &LineChannel::failed, this, &Rfc2217Channel::onTransportFailed);
}

Rfc2217Channel::~Rfc2217Channel()
{
    // Whoever listens may be going too; what the close reports is our own doing anyway.
    blockSignals(true);
    close();
}

void Rfc2217Channel::setLineSettings(const LineSettings& settings)
{
    if (settings.rate <= 0)
        return;
    m_settings = settings;
    if (m_phase == Phase::Confirming || m_phase == Phase::Ready)
        askBaudRate();
}

void Rfc2217Channel::open()
{
    if (state() != State::Closed)
        return;
    m_phase = Phase::Connecting;
    setState(State::Opening);
    m_transport->open();
}

void Rfc2217Channel::close()
{
    // Closed first, so that what the close reports is taken for our own doing.
    m_phase = Phase::Closed;
    m_timer.stop();
    m_ratesAsked.clear();
    m_transport->close();
    setState(State::Closed);
}

bool Rfc2217Channel::writeBytes(const QByteArray& bytes)
{
    return m_phase == Phase::Ready && m_transport->writeBytes(m_codec.encode(bytes));
}

QString Rfc2217Channel::channelName() const
{
    return (isEncrypted() ? QStringLiteral("rfc2217+tls://") : QStringLiteral("rfc2217://")) +
           address();
}

QString Rfc2217Channel::address() const
{
    return m_transport->endpoint();
}

QString Rfc2217Channel::notRfc2217() const
{
    if (isEncrypted())
        return tr("%1 does not speak RFC 2217; use tls:%1 for a raw port inside TLS")
            .arg(address());
    return tr("%1 does not speak RFC 2217; use tcp:%1 for a raw TCP port").arg(address());
}

void Rfc2217Channel::send(const QByteArray& bytes)
{
    m_transport->writeBytes(bytes);
}

void Rfc2217Channel::onConnected()
{
    if (m_settings.rate <= 0) {
        failWith(ChannelFailure::Kind::NoBaudRate, ChannelFailure::kNoBaudRate,
                 tr("No baud rate was set for %1.").arg(channelName()));
        return;
    }
    m_phase = Phase::Agreeing;
    send(m_codec.start());
    m_timer.start(kAgreementTimeout);
}

void Rfc2217Channel::sendLineSettings()
{
    // The rate last: a server answers in order, so whatever it confirms of the others has
    // arrived by the time the rate is confirmed and the channel declared open.
    send(TelnetCodec::comPortCommand(Command::SetDataSize,
                                     QByteArray(1, char(m_settings.dataBits))) +
         TelnetCodec::comPortCommand(Command::SetParity, QByteArray(1, char(parityCode()))) +
         TelnetCodec::comPortCommand(Command::SetStopSize, QByteArray(1, char(stopBitsCode()))) +
         TelnetCodec::comPortCommand(Command::SetControl,
                                     QByteArray(1, char(TelnetCodec::kNoFlowControl))));
    m_phase = Phase::Confirming;
    askBaudRate();
}

void Rfc2217Channel::askBaudRate()
{
    m_ratesAsked.append(m_settings.rate);
    send(TelnetCodec::comPortCommand(Command::SetBaudRate,
                                     TelnetCodec::baudRateValue(quint32(m_settings.rate))));
    m_timer.start(kConfirmationTimeout);
}

void Rfc2217Channel::onReceived(const QByteArray& bytes)
{
    if (m_phase == Phase::Closed)
        return;
    const TelnetCodec::Received received = m_codec.receive(bytes);
    if (!received.reply.isEmpty())
        send(received.reply);
    if (m_phase == Phase::Agreeing) {
        switch (m_codec.comPortControl()) {
        case TelnetCodec::Agreement::Agreed:
            sendLineSettings();
            break;
        case TelnetCodec::Agreement::Refused:
            failWith(ChannelFailure::Kind::NotRfc2217, ChannelFailure::kNotRfc2217, notRfc2217());
            return;
        case TelnetCodec::Agreement::Pending:
            break;
        }
    }
    for (const TelnetCodec::ComPortAnswer& answer : received.answers) {
        check(answer);
        if (m_phase == Phase::Closed)
            return;
    }
    // Bytes before the rate is confirmed crossed the line at another rate, before any command
    // of ours: nothing the exchange could use.
    if (m_phase == Phase::Ready && !received.data.isEmpty())
        emit bytesReceived(received.data);
}

void Rfc2217Channel::check(const TelnetCodec::ComPortAnswer& answer)
{
    if (answer.value.isEmpty())
        return;
    const int value = quint8(answer.value.at(0));
    switch (Command(answer.command)) {
    case Command::SetBaudRate: {
        const std::optional<quint32> rate = TelnetCodec::baudRateOf(answer.value);
        // A rate nobody asked for (a server reporting on its own) says nothing of our request.
        if (!rate || m_ratesAsked.isEmpty())
            return;
        const qint32 asked = m_ratesAsked.takeFirst();
        if (*rate != quint32(asked)) {
            failWith(ChannelFailure::Kind::RateNotConfirmed, ChannelFailure::kRateNotConfirmed,
                     tr("%1 set the serial line to %2 baud instead of the %3 baud asked")
                         .arg(address(), QString::number(*rate), QString::number(asked)));
            return;
        }
        if (!m_ratesAsked.isEmpty())
            return;
        m_timer.stop();
        if (m_phase == Phase::Confirming) {
            m_phase = Phase::Ready;
            setState(State::Open);
        } else {
            emit baudRateChanged(asked);
        }
        return;
    }
    case Command::SetDataSize:
        if (value != m_settings.dataBits)
            refuseSetting(tr("data bits"), QString::number(value),
                          QString::number(m_settings.dataBits));
        return;
    case Command::SetParity:
        if (value != parityCode())
            refuseSetting(tr("parity"), parityName(value), parityName(parityCode()));
        return;
    case Command::SetStopSize:
        if (value != stopBitsCode())
            refuseSetting(tr("stop bits"), stopBitsName(value), stopBitsName(stopBitsCode()));
        return;
    case Command::SetControl:
        // The same command also reports break and modem lines; only flow control matters.
        if (value == TelnetCodec::kXonXoffFlowControl || value == TelnetCodec::kHardwareFlowControl)
            refuseSetting(tr("flow control"), flowControlName(value), tr("none"));
        return;
    }
    // Line and modem state notices and anything newer carry nothing the exchange needs.
}

void Rfc2217Channel::refuseSetting(const QString& what, const QString& got, const QString& asked)
{
    failWith(ChannelFailure::Kind::LineSettingRefused, ChannelFailure::kLineSettingRefused,
             tr("%1 set the %2 of the serial line to %3 instead of %4")
                 .arg(address(), what, got, asked));
}

void Rfc2217Channel::onTimeout()
{
    if (m_phase == Phase::Agreeing) {
        failWith(ChannelFailure::Kind::NotRfc2217, ChannelFailure::kNotRfc2217, notRfc2217());
    } else if (!m_ratesAsked.isEmpty()) {
        failWith(ChannelFailure::Kind::RateNotConfirmed, ChannelFailure::kRateNotConfirmed,
                 tr("%1 did not confirm the rate of %2 baud within %3 s")
                     .arg(address(), QString::number(m_ratesAsked.constFirst()),
                          secondsText(kConfirmationTimeout)));
    }
}

void Rfc2217Channel::onTransportFailed(const ChannelFailure& failure)
{
    if (m_phase == Phase::Closed)
        return;
    if (failure.kind != ChannelFailure::Kind::PeerClosed) {
        close();
        fail(failure);
        return;
    }
    if (m_phase == Phase::Ready) {
        close();
        fail(ChannelFailure::of(ChannelFailure::Kind::PeerClosed, 0,
                                tr("%1 closed the connection.").arg(address())));
        return;
    }
    failWith(ChannelFailure::Kind::ClosedWhileSettingUp, ChannelFailure::kClosedWhileSettingUp,
             tr("%1 closed the connection before the serial line was set up").arg(address()));
}

void Rfc2217Channel::failWith(ChannelFailure::Kind kind, int number, const QString& description)
{
    close();
    fail(ChannelFailure::of(kind, number, description));
}

int Rfc2217Channel::parityCode() const
{
    // RFC 2217 counts none, odd, even, mark and space from 1.
    return int(m_settings.parity) + 1;
}

int Rfc2217Channel::stopBitsCode() const
{
    return m_settings.stopBits == 2 ? 2 : TelnetCodec::kStopBitsOne;
}
