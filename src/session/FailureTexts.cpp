#include "session/FailureTexts.h"

#include "platform/TextRoutines.h"

std::optional<FailureTexts::Message> FailureTexts::forWindow(const SessionFailure& failure)
{
    const QString networkTitle = tr("TCP/IP ERROR");
    const QString portTitle = tr("Port Error");
    switch (failure.kind) {
    case SessionFailure::Kind::None:
        break;
    case SessionFailure::Kind::PortNotOpened:
        return Message{portTitle, portNotOpened(failure.channel, failure.name)};
    case SessionFailure::Kind::Unreachable:
        if (failure.channel.kind == ChannelFailure::Kind::ConnectTimeout)
            return Message{networkTitle, tr("%1 did not accept the connection within %2 s.")
                                             .arg(failure.description,
                                                  QString::number(failure.connectLimit.count()))};
        return Message{networkTitle, socketError(failure.channel)};
    case SessionFailure::Kind::Lost: {
        if (!failure.duringQuery && !failure.channel.isLoss())
            return Message{networkTitle, socketError(failure.channel)};
        QString text = tr("The connection to the indicator at %1 was lost.").arg(failure.name);
        if (!failure.channel.detail.isEmpty())
            text += QStringLiteral("\r\n\r\n") + failure.channel.detail;
        return Message{failure.network ? networkTitle : portTitle, text};
    }
    case SessionFailure::Kind::QueryRefused:
    case SessionFailure::Kind::NoAnswer:
        return Message{tr("Communication Error"), tr("Indicator does not respond")};
    }
    return std::nullopt;
}

QString FailureTexts::socketError(const ChannelFailure& failure)
{
    return tr("Error: %1\r\n\r\n%2\r\n")
        .arg(TextRoutines::numberText(failure.number), failure.detail);
}

QString FailureTexts::portNotOpened(const ChannelFailure& failure, const QString& device)
{
    switch (failure.kind) {
    case ChannelFailure::Kind::PortInUse:
        return tr("Port is used by other aplication");
    case ChannelFailure::Kind::NoSuchPort:
        return tr("The serial port %1 does not exist.\r\n\r\nPlug in the adapter, or choose "
                  "another port under Comm > Port.")
            .arg(device);
    case ChannelFailure::Kind::PermissionDenied:
        return tr("You may not open the serial port %1.\r\n\r\nAsk the administrator to add your "
                  "user to the group \"dialout\", then log out and log in again.")
            .arg(device);
    case ChannelFailure::Kind::NotSerial:
        return tr("%1 is not a serial device, so it cannot be opened as a serial port.")
            .arg(device);
    default:
        break;
    }
    return tr("The serial port %1 could not be opened.").arg(device);
}
