#include "session/FailureTexts.h"

#include "platform/TextRoutines.h"

std::optional<FailureTexts::Message> FailureTexts::forWindow(const SessionFailure& failure)
{
    const QString networkTitle = tr("TCP/IP ERROR");
    const QString portTitle = tr("Port Error");
    // Whether it came at the connection or a moment after, it is what the channel said.
    if (failure.channel.isTrustRefusal())
        return Message{networkTitle, failure.channel.detail + QStringLiteral("\r\n\r\n") +
                                         trustAdvice(failure.channel)};
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

QString FailureTexts::trustAdvice(const ChannelFailure& failure)
{
    switch (failure.kind) {
    case ChannelFailure::Kind::TlsServerUntrusted:
        return tr("To trust it, name the certificate of the authority that signed it in CA=, or "
                  "exactly this certificate in Pin=%1, under [CommSettings] in the settings file.")
            .arg(failure.pin);
    case ChannelFailure::Kind::TlsServerExpired:
        return tr("Renew the certificate on the device server; or, to trust exactly this "
                  "certificate as it is, put Pin=%1 under [CommSettings] in the settings file.")
            .arg(failure.pin);
    case ChannelFailure::Kind::TlsServerNameMismatch:
        return tr("Connect by a name the certificate is made out to (IP= under [CommSettings] in "
                  "the settings file), or trust exactly this certificate with Pin=%1 there.")
            .arg(failure.pin);
    case ChannelFailure::Kind::TlsClientRefused:
        return tr("Name a certificate and key that the device server trusts in Cert= and Key= "
                  "under [CommSettings] in the settings file.");
    case ChannelFailure::Kind::TlsCertificateAsked:
        return tr("Name this program's certificate and key in Cert= and Key= under "
                  "[CommSettings] in the settings file.");
    case ChannelFailure::Kind::TlsKeyEncrypted:
        return tr("Store the key without a passphrase (openssl pkey -in KEY -out NEW-KEY), where "
                  "only this user can read it, and name that file in Key=.");
    case ChannelFailure::Kind::TlsFileUnusable:
        return tr("Check CA=, Cert=, Key= and Pin= under [CommSettings] in the settings file.");
    default:
        break;
    }
    return {};
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
