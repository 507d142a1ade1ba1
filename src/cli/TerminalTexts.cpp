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

// What to give so that a refused trust holds: the command line's options (and a fleet file's
// columns of the same names).
QString trustAdvice(const ChannelFailure& failure)
{
    switch (failure.kind) {
    case ChannelFailure::Kind::TlsServerUntrusted:
        return QStringLiteral("To trust it, give --ca FILE with the certificate of the authority "
                              "that signed it, or --pin %1 for exactly this certificate.")
            .arg(failure.pin);
    case ChannelFailure::Kind::TlsServerExpired:
        return QStringLiteral("Renew the certificate on the device server; or, to trust exactly "
                              "this certificate as it is, give --pin %1.")
            .arg(failure.pin);
    case ChannelFailure::Kind::TlsServerNameMismatch:
        return QStringLiteral("Connect by a name the certificate is made out to, or trust "
                              "exactly this certificate with --pin %1.")
            .arg(failure.pin);
    case ChannelFailure::Kind::TlsClientRefused:
        return QStringLiteral("Give --cert and --key of a certificate that the device server "
                              "trusts.");
    case ChannelFailure::Kind::TlsCertificateAsked:
        return QStringLiteral("Give --cert FILE and --key FILE: this program's certificate and "
                              "its key.");
    case ChannelFailure::Kind::TlsKeyEncrypted:
        return QStringLiteral("Store the key without a passphrase (openssl pkey -in KEY -out "
                              "NEW-KEY), where only you can read it, and give that file to --key.");
    default:
        break;
    }
    return {};
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
    if (failure.channel.isTrustRefusal()) {
        const QString advice = trustAdvice(failure.channel);
        return QStringLiteral("TCP/IP ERROR: ") + failure.channel.detail +
               (advice.isEmpty() ? QString() : u'\n' + advice);
    }
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
