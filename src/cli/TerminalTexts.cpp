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

} // namespace

QString failure(const SessionFailure& failure)
{
    if (failure.kind == SessionFailure::Kind::PortNotOpened)
        return QStringLiteral("Port Error: ") + portNotOpened(failure);
    SessionFailure told = failure;
    told.channel = withoutStaleWords(failure.channel);
    const std::optional<FailureTexts::Message> message = FailureTexts::forWindow(told);
    return message ? message->title + QStringLiteral(": ") + message->text : QString();
}

QString notice(const DownloadNotice& notice)
{
    DownloadNotice told = notice;
    told.lost = withoutStaleWords(notice.lost);
    return DownloadMessages::title() + QStringLiteral(": ") + DownloadMessages::text(told);
}

} // namespace Cli::TerminalTexts
