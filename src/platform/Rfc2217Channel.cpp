#include "platform/Rfc2217Channel.h"

#include "platform/TcpClient.h"

namespace {

using Command = TelnetCodec::ComPortCommand;

constexpr quint8 kDataBits = 8;

QString secondsText(std::chrono::milliseconds time)
{
    return QString::number(std::chrono::duration<double>(time).count());
}

QString parityName(int code)
{
    static const char* const names[] = {"unknown", "none", "odd", "even", "mark", "space"};
    return QString::fromLatin1(code >= 1 && code <= 5 ? names[code] : names[0]);
}

QString stopBitsName(int code)
{
    static const char* const names[] = {"unknown", "1", "2", "1.5"};
    return QString::fromLatin1(code >= 1 && code <= 3 ? names[code] : names[0]);
}

QString flowControlName(int code)
{
    return code == TelnetCodec::kXonXoffFlowControl ? QStringLiteral("XON/XOFF")
                                                    : QStringLiteral("hardware");
}

} // namespace

Rfc2217Channel::Rfc2217Channel(QObject* parent)
    : LineChannel(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Rfc2217Channel::onTimeout);
    connect(&m_socket, &QTcpSocket::connected, this, &Rfc2217Channel::onConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &Rfc2217Channel::onReadyRead);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &Rfc2217Channel::onErrorOccurred);
    connect(&m_socket, &QTcpSocket::disconnected, this, &Rfc2217Channel::onDisconnected);
}

Rfc2217Channel::~Rfc2217Channel()
{
    m_phase = Phase::Closed;
    m_socket.abort();
}

bool Rfc2217Channel::setBaudRate(qint32 rate)
{
    if (rate <= 0)
        return false;
    m_baudRate = rate;
    if (m_phase == Phase::Confirming || m_phase == Phase::Ready)
        askBaudRate();
    return true;
}

void Rfc2217Channel::connectToIndicator()
{
    close();
    m_phase = Phase::Connecting;
    m_socket.connectToHost(m_remoteHost, static_cast<quint16>(m_remotePort));
}

void Rfc2217Channel::close()
{
    // Closed first, so that what the abort reports is taken for our own doing.
    m_phase = Phase::Closed;
    m_timer.stop();
    m_ratesAsked.clear();
    m_socket.abort();
}

bool Rfc2217Channel::writeBytes(const QByteArray& bytes)
{
    if (!isConnected())
        return false;
    const QByteArray framed = m_codec.encode(bytes);
    if (m_socket.write(framed) != framed.size())
        return false;
    // Sent now rather than on the next pass of the event loop.
    m_socket.flush();
    return true;
}

QString Rfc2217Channel::channelName() const
{
    return QStringLiteral("rfc2217://") + address();
}

QString Rfc2217Channel::address() const
{
    return QStringLiteral("%1:%2").arg(m_remoteHost, QString::number(m_remotePort));
}

QString Rfc2217Channel::notRfc2217() const
{
    return tr("%1 does not speak RFC 2217; use tcp:%1 for a raw TCP port").arg(address());
}

void Rfc2217Channel::send(const QByteArray& bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

void Rfc2217Channel::onConnected()
{
    // Commands are small and each waits for its reply: send them at once.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (m_baudRate <= 0) {
        fail(kErrNoBaudRate, tr("No baud rate was set for %1.").arg(channelName()));
        return;
    }
    m_phase = Phase::Agreeing;
    send(m_codec.start());
    m_timer.start(kAgreementTimeout);
}

void Rfc2217Channel::sendLineSettings()
{
    // The rate last: a server answers in order, so whatever it confirms of the others has
    // arrived by the time the rate is confirmed and the channel declared usable.
    send(TelnetCodec::comPortCommand(Command::SetDataSize, QByteArray(1, char(kDataBits))) +
         TelnetCodec::comPortCommand(Command::SetParity,
                                     QByteArray(1, char(TelnetCodec::kParityNone))) +
         TelnetCodec::comPortCommand(Command::SetStopSize,
                                     QByteArray(1, char(TelnetCodec::kStopBitsOne))) +
         TelnetCodec::comPortCommand(Command::SetControl,
                                     QByteArray(1, char(TelnetCodec::kNoFlowControl))));
    m_phase = Phase::Confirming;
    askBaudRate();
}

void Rfc2217Channel::askBaudRate()
{
    m_ratesAsked.append(m_baudRate);
    send(TelnetCodec::comPortCommand(Command::SetBaudRate,
                                     TelnetCodec::baudRateValue(quint32(m_baudRate))));
    m_timer.start(kConfirmationTimeout);
}

void Rfc2217Channel::onReadyRead()
{
    if (m_phase == Phase::Closed)
        return;
    const TelnetCodec::Received received = m_codec.receive(m_socket.readAll());
    if (!received.reply.isEmpty())
        send(received.reply);
    if (m_phase == Phase::Agreeing) {
        switch (m_codec.comPortControl()) {
        case TelnetCodec::Agreement::Agreed:
            sendLineSettings();
            break;
        case TelnetCodec::Agreement::Refused:
            fail(kErrNotRfc2217, notRfc2217());
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
            fail(kErrRateNotConfirmed,
                 tr("%1 set the serial line to %2 baud instead of the %3 baud asked")
                     .arg(address(), QString::number(*rate), QString::number(asked)));
            return;
        }
        if (!m_ratesAsked.isEmpty())
            return;
        m_timer.stop();
        if (m_phase == Phase::Confirming) {
            m_phase = Phase::Ready;
            emit connected();
        } else {
            emit baudRateChanged(asked);
        }
        return;
    }
    case Command::SetDataSize:
        if (value != kDataBits)
            refuseSetting(tr("data bits"), QString::number(value), QString::number(kDataBits));
        return;
    case Command::SetParity:
        if (value != TelnetCodec::kParityNone)
            refuseSetting(tr("parity"), parityName(value), parityName(TelnetCodec::kParityNone));
        return;
    case Command::SetStopSize:
        if (value != TelnetCodec::kStopBitsOne)
            refuseSetting(tr("stop bits"), stopBitsName(value),
                          stopBitsName(TelnetCodec::kStopBitsOne));
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
    fail(kErrLineSettingRefused, tr("%1 set the %2 of the serial line to %3 instead of %4")
                                     .arg(address(), what, got, asked));
}

void Rfc2217Channel::onTimeout()
{
    if (m_phase == Phase::Agreeing) {
        fail(kErrNotRfc2217, notRfc2217());
    } else if (!m_ratesAsked.isEmpty()) {
        fail(kErrRateNotConfirmed, tr("%1 did not confirm the rate of %2 baud within %3 s")
                                       .arg(address(), QString::number(m_ratesAsked.constFirst()),
                                            secondsText(kConfirmationTimeout)));
    }
}

void Rfc2217Channel::onErrorOccurred(QAbstractSocket::SocketError error)
{
    if (m_phase == Phase::Closed)
        return;
    // A peer that closes is not a failure of the socket; it is reported through disconnected().
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    fail(TcpClient::errorNumber(error), m_socket.errorString());
}

void Rfc2217Channel::onDisconnected()
{
    if (m_phase == Phase::Closed)
        return;
    if (m_phase == Phase::Ready) {
        close();
        emit channelLost(tr("%1 closed the connection.").arg(address()));
        return;
    }
    fail(kErrClosedWhileSettingUp,
         tr("%1 closed the connection before the serial line was set up").arg(address()));
}

void Rfc2217Channel::fail(int number, const QString& description)
{
    const bool wasOpen = m_phase == Phase::Ready;
    close();
    emit errorOccurred(number, description);
    if (wasOpen)
        emit channelLost(description);
}
