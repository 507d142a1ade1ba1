#include "platform/SerialChannel.h"

#include "platform/LogSource.h"
#include "platform/SerialDevices.h"

#include <QFileInfo>
#include <QLoggingCategory>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace {
// Passing errors in a row without a byte read between them that still count as passing.
constexpr int kMaxPassingErrors = 100;

#ifdef Q_OS_LINUX
// The exchange's category by name, so that one logging rule shows the whole conversation with
// the port; platform code cannot reach the link layer's object. Rules and the default level
// (info) go by the name, so both objects behave as one.
Q_LOGGING_CATEGORY(lcPortExchange, "talvor.exchange", QtInfoMsg)
#endif

} // namespace

SerialChannel::SerialChannel(const QString& device, int comNumber, QObject* parent)
    : LineChannel(parent)
    , m_device(device)
    , m_comNumber(comNumber)
{
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        const QByteArray bytes = m_port.readAll();
        if (bytes.isEmpty())
            return;
        m_passingErrors = 0;
        emit bytesReceived(bytes);
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialChannel::onErrorOccurred);
}

SerialChannel::~SerialChannel()
{
    // Whoever listens may be going too; the port closes with this object.
    blockSignals(true);
}

QString SerialChannel::description() const
{
    if (m_comNumber <= 0)
        return m_device;
    return QStringLiteral("COM %1 %2").arg(QString::number(m_comNumber), m_device);
}

void SerialChannel::setLineSettings(const LineSettings& settings)
{
    m_settings = settings;
    if (m_port.isOpen())
        applyLineSettings();
}

void SerialChannel::applyLineSettings()
{
    if (m_settings.rate > 0)
        m_port.setBaudRate(m_settings.rate);
    m_port.setDataBits(QSerialPort::DataBits(m_settings.dataBits));
    static constexpr QSerialPort::Parity parities[] = {
        QSerialPort::NoParity, QSerialPort::OddParity, QSerialPort::EvenParity,
        QSerialPort::MarkParity, QSerialPort::SpaceParity};
    m_port.setParity(parities[int(m_settings.parity)]);
    m_port.setStopBits(m_settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

void SerialChannel::open()
{
    if (state() != State::Closed)
        return;
    if (m_device.isEmpty()) {
        fail(ChannelFailure::of(ChannelFailure::Kind::NoSuchPort, ChannelFailure::kNoSuchPort));
        return;
    }
#ifdef Q_OS_UNIX
    // Windows port names are no files; there the open itself reports a missing device.
    if (!QFileInfo::exists(m_device)) {
        fail(ChannelFailure::of(ChannelFailure::Kind::NoSuchPort, ChannelFailure::kNoSuchPort));
        return;
    }
    // The lock that keeps a second program off the port is named after the path opened: the
    // real device, so that /dev/serial/by-id/... and /dev/ttyUSB0 are one port.
    const QString canonical = QFileInfo(m_device).canonicalFilePath();
    m_openedPath = canonical.isEmpty() ? m_device : canonical;
#else
    m_openedPath = m_device;
#endif
    m_port.setPortName(m_openedPath);
    m_passingErrors = 0;
    applyLineSettings();
    if (!m_port.open(QIODevice::ReadWrite)) {
        fail(openFailure(m_port.error()));
        return;
    }
    m_port.clearError();
    m_lowLatencyResult = m_lowLatency ? requestLowLatency() : LowLatency::Off;
    setState(State::Open);
}

void SerialChannel::close()
{
    if (m_port.isOpen())
        m_port.close();
    setState(State::Closed);
}

SerialChannel::LowLatency SerialChannel::requestLowLatency()
{
#ifdef Q_OS_LINUX
    const int fd = int(m_port.handle());
    serial_struct serial{};
    int error = 0;
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) {
        error = errno;
    } else if (!(serial.flags & ASYNC_LOW_LATENCY)) {
        serial.flags |= ASYNC_LOW_LATENCY;
        // Read back: some drivers take the call and drop the flag.
        if (::ioctl(fd, TIOCSSERIAL, &serial) != 0 || ::ioctl(fd, TIOCGSERIAL, &serial) != 0)
            error = errno;
    }
    if (error == 0 && (serial.flags & ASYNC_LOW_LATENCY)) {
        qCDebug(lcPortExchange) << LogSource{logName()} << "low-latency mode on for"
                                << m_openedPath;
        return LowLatency::Applied;
    }
    // A pseudo-terminal has no latency timer: there is nothing to say.
    const bool pseudoTerminal = m_openedPath.startsWith(QStringLiteral("/dev/pts/"));
    if (!pseudoTerminal && !m_lowLatencyRefusalLogged.contains(m_openedPath)) {
        m_lowLatencyRefusalLogged.insert(m_openedPath);
        const QString why = error ? QString::fromLocal8Bit(std::strerror(error))
                                  : QStringLiteral("ignored by the driver");
        qCInfo(lcPortExchange).noquote()
            << LogSource{logName()}
            << QStringLiteral("low-latency mode not available on %1 (%2); replies may wait for "
                              "the adapter's latency timer")
                   .arg(m_openedPath, why);
    }
    return LowLatency::Unsupported;
#else
    return LowLatency::Off;
#endif
}

ChannelFailure SerialChannel::openFailure(QSerialPort::SerialPortError error) const
{
    using Kind = ChannelFailure::Kind;
    bool exists = true;
    bool accessible = true;
#ifdef Q_OS_UNIX
    // A held port and a forbidden one both arrive as PermissionError; only access() tells them
    // apart.
    exists = QFileInfo::exists(m_device);
    accessible = ::access(QFile::encodeName(m_device).constData(), R_OK | W_OK) == 0;
#endif
    Kind kind = openFailure(error, exists, accessible);
#ifdef Q_OS_UNIX
    if (kind == Kind::OpenFailed && exists &&
        SerialDevices::fitness(m_device) == SerialDevices::Fitness::NotSerial)
        kind = Kind::NotSerial;
#endif
    int number = ChannelFailure::kOpenFailed;
    switch (kind) {
    case Kind::NoSuchPort:
        number = ChannelFailure::kNoSuchPort;
        break;
    case Kind::PortInUse:
        number = ChannelFailure::kPortInUse;
        break;
    case Kind::PermissionDenied:
        number = ChannelFailure::kPermissionDenied;
        break;
    case Kind::NotSerial:
        number = ChannelFailure::kNotSerial;
        break;
    default:
        break;
    }
    return ChannelFailure::of(kind, number, m_port.errorString());
}

ChannelFailure::Kind SerialChannel::openFailure(QSerialPort::SerialPortError error, bool exists,
                                                bool accessible)
{
    using Kind = ChannelFailure::Kind;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return Kind::NoSuchPort;
    case QSerialPort::PermissionError:
        if (!exists)
            return Kind::NoSuchPort;
        return accessible ? Kind::PortInUse : Kind::PermissionDenied;
    default:
        return Kind::OpenFailed;
    }
}

bool SerialChannel::writeBytes(const QByteArray& bytes)
{
    if (!m_port.isOpen())
        return false;
    if (m_port.write(bytes) != bytes.size())
        return false;
    // Hands the bytes to the driver now rather than on the next pass of the event loop; the
    // indicator cannot answer before it has them.
    m_port.flush();
    return true;
}

void SerialChannel::onErrorOccurred(QSerialPort::SerialPortError error)
{
    // A setting the device cannot take (a pseudo-terminal has no modem lines) leaves it usable.
    if (error == QSerialPort::NoError || error == QSerialPort::UnsupportedOperationError ||
        !m_port.isOpen())
        return;
    if (!deviceGone() && ++m_passingErrors <= kMaxPassingErrors) {
        m_port.clearError();
        // Qt stops reading after such an error; setting the read buffer size starts it again.
        m_port.setReadBufferSize(m_port.readBufferSize());
        return;
    }
    // The device is gone or hung up; closing at once also stops the flood of repeated read
    // errors an unplugged adapter produces.
    const QString reason = m_port.errorString();
    m_port.close();
    m_port.clearError();
    fail(ChannelFailure::of(ChannelFailure::Kind::DeviceGone, 0, reason));
}

bool SerialChannel::deviceGone() const
{
#ifdef Q_OS_UNIX
    if (!QFileInfo::exists(m_openedPath))
        return true;
    pollfd fd{m_port.handle(), POLLIN, 0};
    if (::poll(&fd, 1, 0) < 0)
        return true;
    return (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    // Without a way to look at the device, any error counts as its loss.
    return true;
#endif
}
