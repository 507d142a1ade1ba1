#include "cli/TerminalTexts.h"

#include "session/FailureTexts.h"
#include "ticket/DownloadMessages.h"

namespace Cli::TerminalTexts {

namespace {

QString portNotOpened(const SessionFailure& failure)
{
    const QString& device = failure.name;
    switch (failure.channel.kind) {
    case ChannelFailure::Kind::PortInUse:
        return QStringLiteral("Port is used by other aplication");
    case ChannelFailure::Kind::NoSuchPort:
        return QStringLiteral("The serial port %1 does not exist. Plug in the adapter, or give "
                              "another port.")
            .arg(device);
    case ChannelFailure::Kind::PermissionDenied:
        return QStringLiteral("You may not open the serial port %1. Ask the administrator to "
                              "add your user to the group \"dialout\", then log out and log in "
                              "again.")
            .arg(device);
    case ChannelFailure::Kind::NotSerial:
        return QStringLiteral("%1 is not a serial device, so it cannot be opened as a serial "
                              "port.")
            .arg(device);
    default:
        break;
    }
    return QStringLiteral("The serial port %1 could not be opened.").arg(device);
}

// What the system said of a vanished device is an error of the moment it noticed, such as "No
// such file or directory": it reads as a cause it is not.
ChannelFailure withoutStaleWords(ChannelFailure failure)
{
    if (failure.kind == ChannelFailure::Kind::DeviceGone)
        failure.detail.clear();
    return failure;
}

// A network failure as a sentence, its cause first; the system's number is of no use here.
QString networkFailure(const SessionFailure& failure)
{
    const ChannelFailure& channel = failure.channel;
    if (channel.kind == ChannelFailure::Kind::ConnectTimeout)
        return FailureTexts::forWindow(failure)->text;
    if (channel.kind != ChannelFailure::Kind::SocketError)
        return channel.detail + (channel.detail.endsWith(u'.') ? QString() : QStringLiteral("."));
    return (failure.kind == SessionFailure::Kind::Lost
                ? QStringLiteral("%1: the connection to %2 was lost.")
                : QStringLiteral("%1: %2 could not be reached."))
        .arg(channel.detail, failure.name);
}

// What a terminal's reader most likely has to check when the indicator says nothing.
QString likelyCause(const SessionFailure& failure)
{
    if (failure.rate > 0)
        return QStringLiteral("check the cable and that the indicator is set to %1 baud (--baud)")
            .arg(QString::number(failure.rate));
    return QStringLiteral("check that %1 is the indicator's host and port").arg(failure.name);
}

} // namespace

QString failure(const SessionFailure& failure)
{
    using Kind = SessionFailure::Kind;
    switch (failure.kind) {
    case Kind::None:
        return {};
    case Kind::PortNotOpened:
        return QStringLiteral("Port Error: ") + portNotOpened(failure);
    case Kind::QueryRefused:
        return QStringLiteral("Communication Error: Indicator does not respond: it refused the "
                              "query");
    case Kind::NoAnswer:
        return QStringLiteral("Communication Error: Indicator does not respond; ") +
               likelyCause(failure);
    case Kind::Unreachable:
    case Kind::Lost:
        break;
    }
    if (failure.kind == Kind::Unreachable || (!failure.duringQuery && !failure.channel.isLoss()))
        return QStringLiteral("TCP/IP ERROR: ") + networkFailure(failure);
    const ChannelFailure channel = withoutStaleWords(failure.channel);
    return (failure.network ? QStringLiteral("TCP/IP ERROR: ") : QStringLiteral("Port Error: ")) +
           QStringLiteral("The connection to the indicator at %1 was lost.").arg(failure.name) +
           (channel.detail.isEmpty() ? QString() : u' ' + channel.detail);
}

QString counted(qint64 count, const QString& one, const QString& many)
{
    return QString::number(count) + u' ' + (count == 1 ? one : many);
}

QString notice(const DownloadNotice& notice)
{
    DownloadNotice told = notice;
    told.lost = withoutStaleWords(notice.lost);
    return DownloadMessages::title() + QStringLiteral(": ") + DownloadMessages::text(told);
}

} // namespace Cli::TerminalTexts
