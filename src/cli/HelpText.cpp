#include "cli/HelpText.h"

#include "link/PortAddress.h"
#include "platform/LineSettings.h"

namespace Cli {

namespace {

const QString kOverviewHead = QStringLiteral(R"(Usage: ticket-talvor-cli COMMAND [options]

Downloads ticket templates into weighing indicators without the window: the same
query, the same download and the same messages, over a serial port or TCP/IP, also
inside TLS.

Commands:
)");

const QString kOverviewTail =
    QStringLiteral(R"(  help CMD   Show the options of a command (also: CMD --help).

  --version  Show the program's version.

Exit codes:
  0  every indicator stored every ticket (query: the indicator answered)
  1  an indicator refused or stopped answering: some ticket was not stored
  2  usage, file or ticket set error: nothing was sent
  3  a channel could not be opened or was lost
)");

const QString kPortHelp =
    QStringLiteral(
        R"(  --port PORT      COM1 to COM8 (the device behind each comes from [PortNames] of
                   the settings file, as in the window), a device path such as
                   %1, tcp:HOST:PORT (a raw TCP port),
                   rfc2217://HOST:PORT (a serial device server or ser2net that
                   speaks RFC 2217: the program sets its line's rate), or either
                   inside TLS: tls:HOST:PORT, rfc2217+tls://HOST:PORT.
  --baud RATE      %2; 19200 when not
                   given. Serial ports and rfc2217(+tls):// only: a raw port's
                   rate is set on the device server itself.
)")
        .arg(PortAddress::deviceExample(), LineSettings::ratesText());

const QString kTlsHelp = QStringLiteral(
    R"(  --ca FILE        Inside TLS: trust only the authorities in FILE (PEM) for the
                   device server's certificate, instead of the system's.
  --pin SHA256:HEX Inside TLS: trust exactly the certificate with this SHA-256
                   fingerprint and nothing else (for a certificate that names no
                   usable host); not with --ca.
  --cert FILE      Inside TLS: this program's certificate (PEM), offered when the
  --key FILE       device server asks for one, and its key, without a passphrase.
                   A certificate that is not trusted, has expired or names another
                   host ends the connection before anything is sent (exit 3).
)");

const QString kSettingsHelp = QStringLiteral(
    R"(  --settings FILE  The settings file to take [PortNames] and [SerialPort] from,
                   instead of the one the window uses.
)");

const QString kTicketHelp = QStringLiteral(
    R"(  --slot N=FILE    The ticket file for slot N (1 to 7); repeat for each slot.
  --set FILE       The ticket files of a ticket set (.tkset) saved by the window.
  --json           Print one JSON object per indicator on stdout: the fields of the
                   download record (time, channel, baud, version, serial, outcome,
                   seconds, commands, retries, slots).
  --no-record      Do not append the download to the download record
                   (downloads.jsonl in the program's data folder).
)");

const QString kQueryHelp = QStringLiteral(
                               R"(Usage: ticket-talvor-cli query --port PORT [--baud RATE]
                      [--ca FILE | --pin SHA256:HEX] [--cert FILE --key FILE]

Asks the indicator for its software version and serial number and prints them as
the window shows them.

)") + kPortHelp + kTlsHelp +
                           kSettingsHelp;

const QString kDownloadHelp =
    QStringLiteral(R"(Usage: ticket-talvor-cli download --port PORT [--baud RATE]
                         [--ca FILE | --pin SHA256:HEX] [--cert FILE --key FILE]
                         (--slot N=FILE ... | --set FILE.tkset) [--json] [--no-record]

Queries the indicator (version and serial number), then downloads the tickets as the
window's DownLoad does: the pointer table cleared, the data written, the pointers
written last. The indicator's messages go to stderr; on a terminal a progress line
shows bytes sent, exchanges per second and the time left.

)") +
    kPortHelp + kTlsHelp + kTicketHelp + kSettingsHelp;

const QString kFleetHelp =
    QStringLiteral(
        R"(Usage: ticket-talvor-cli fleet --targets FILE.csv (--slot N=FILE ... | --set FILE.tkset)
                      [--parallel N] [--json] [--no-record]
                      [--ca FILE | --pin SHA256:HEX] [--cert FILE --key FILE]

Downloads the same tickets into every indicator of the targets file, up to N at once,
and ends with a table: name, serial number, outcome, seconds. The exit code is the
worst outcome (3, then 1, then 0); rows of the file that were skipped make a fleet
that otherwise stored everything end with 2.

The targets file is CSV with the header "name,port" or "name,port,baud" (PORT and
RATE as for download), then any of the columns ca, cert, key and pin for ports
inside TLS; --ca, --cert, --key and --pin give what a row leaves empty:
  name,port,baud,pin
  north-gate,tcp:192.168.1.50:4001,,
  south-gate,COM3,9600,
  yard,rfc2217+tls://192.168.1.51:4001,115200,SHA256:3f0c...
A bad row is reported with its line number and skipped; the others go on.

  --targets FILE   The targets file.
  --parallel N     Downloads at once, 1 to 512 (default 8).
)") +
    kTlsHelp + kTicketHelp + kSettingsHelp;

} // namespace

const QList<CommandInfo>& commandTable()
{
    static const QList<CommandInfo> table = {
        {Command::Kind::Query, QStringLiteral("query"),
         QStringLiteral("Read an indicator's software version and serial number."), kQueryHelp},
        {Command::Kind::Download, QStringLiteral("download"),
         QStringLiteral("Download tickets into one indicator."), kDownloadHelp},
        {Command::Kind::Fleet, QStringLiteral("fleet"),
         QStringLiteral("Download the same tickets into many indicators at once."), kFleetHelp},
    };
    return table;
}

const CommandInfo* findCommand(const QString& word)
{
    for (const CommandInfo& info : commandTable()) {
        if (info.word == word)
            return &info;
    }
    return nullptr;
}

const CommandInfo* findCommand(Command::Kind kind)
{
    for (const CommandInfo& info : commandTable()) {
        if (info.kind == kind)
            return &info;
    }
    return nullptr;
}

QString commandChoices()
{
    QStringList words;
    for (const CommandInfo& info : commandTable())
        words.append(info.word);
    const QString last = words.takeLast();
    return words.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

QString helpText(const QString& topic)
{
    if (const CommandInfo* info = findCommand(topic))
        return info->help;
    QString overview = kOverviewHead;
    for (const CommandInfo& info : commandTable())
        overview += QStringLiteral("  %1 %2\n").arg(info.word.leftJustified(10), info.summary);
    return overview + kOverviewTail;
}

} // namespace Cli
