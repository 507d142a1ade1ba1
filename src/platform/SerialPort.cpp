#include "platform/SerialPort.h"

#include "platform/LogSource.h"

#include <QFileInfo>
#include <QLoggingCategory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
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

#ifdef Q_OS_UNIX
// A folder, a plain file or /dev/null opens, but as no serial line. When the open fails, the
// failure speaks for itself: true.
bool isTerminal(const QString& device)
{
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal;
}
#endif
} // namespace

SerialPort::SerialPort(QObject* parent)
    : LineChannel(parent)
{
    for (int k = 1; k <= kPortCount; ++k)
        m_portNames[k - 1] = defaultPortName(k);
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        const QByteArray bytes = m_port.readAll();
        if (bytes.isEmpty())
            return;
        m_passingErrors = 0;
        emit bytesReceived(bytes);
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPort::onErrorOccurred);
}

SerialPort::~SerialPort() = default;

QString SerialPort::defaultPortName(int comNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(comNumber);
#else
    // The numbering Wine uses, so COM 1 is the first on-board port.
    return QStringLiteral("/dev/ttyS%1").arg(comNumber - 1);
#endif
}

void SerialPort::setPortName(int comNumber, const QString& device)
{
    if (comNumber < 1 || comNumber > kPortCount)
        return;
    m_portNames[comNumber - 1] = device.isEmpty() ? defaultPortName(comNumber) : device;
}

QString SerialPort::portName(int comNumber) const
{
    if (comNumber < 1 || comNumber > kPortCount)
        return {};
    return m_portNames[comNumber - 1];
}

void SerialPort::setSettings(const QString& settings)
{
    m_settings = settings;
    if (m_port.isOpen())
        applyLineSettings();
}

void SerialPort::applyLineSettings()
{
    bool ok = false;
    const int rate = rateText().trimmed().toInt(&ok);
    if (ok && rate > 0)
        m_port.setBaudRate(rate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

int SerialPort::setPortOpen(bool open)
{
    if (!open) {
        if (m_port.isOpen())
            m_port.close();
        return kNoError;
    }
    if (m_port.isOpen())
        return kErrPortInUse;
    const QString device = devicePath();
    if (device.isEmpty())
        return kErrNoSuchPort;
#ifdef Q_OS_UNIX
    // Windows port names are no files; there the open itself reports a missing device.
    if (!QFileInfo::exists(device))
        return kErrNoSuchPort;
    // The lock that keeps a second program off the port is named after the path opened: the
    // real device, so that /dev/serial/by-id/... and /dev/ttyUSB0 are one port.
    const QString canonical = QFileInfo(device).canonicalFilePath();
    m_openedPath = canonical.isEmpty() ? device : canonical;
#else
    m_openedPath = device;
#endif
    m_port.setPortName(m_openedPath);
    m_passingErrors = 0;
    applyLineSettings();
    if (!m_port.open(QIODevice::ReadWrite))
        return classifyOpenFailure(m_port.error());
    m_port.clearError();
    m_lowLatencyResult = m_lowLatency ? requestLowLatency() : LowLatency::Off;
    return kNoError;
}

SerialPort::LowLatency SerialPort::requestLowLatency()
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
        qCDebug(lcPortExchange) << LogSource{m_logName} << "low-latency mode on for"
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
            << LogSource{m_logName}
            << QStringLiteral("low-latency mode not available on %1 (%2); replies may wait for "
                              "the adapter's latency timer")
                   .arg(m_openedPath, why);
    }
    return LowLatency::Unsupported;
#else
    return LowLatency::Off;
#endif
}

int SerialPort::classifyOpenFailure(QSerialPort::SerialPortError error) const
{
    bool exists = true;
    bool accessible = true;
#ifdef Q_OS_UNIX
    // A held port and a forbidden one both arrive as PermissionError; only access() tells them
    // apart.
    const QString device = devicePath();
    exists = QFileInfo::exists(device);
    accessible = ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
    const int code = openFailureCode(error, exists, accessible);
    if (code == kErrOpenFailed && exists && !isTerminal(device))
        return kErrNotSerial;
    return code;
#else
    return openFailureCode(error, exists, accessible);
#endif
}

int SerialPort::openFailureCode(QSerialPort::SerialPortError error, bool exists, bool accessible)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return kErrNoSuchPort;
    case QSerialPort::PermissionError:
        if (!exists)
            return kErrNoSuchPort;
        return accessible ? kErrPortInUse : kErrPermissionDenied;
    default:
        return kErrOpenFailed;
    }
}

bool SerialPort::writeBytes(const QByteArray& bytes)
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

void SerialPort::onErrorOccurred(QSerialPort::SerialPortError error)
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
    emit channelLost(reason);
}

bool SerialPort::deviceGone() const
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
