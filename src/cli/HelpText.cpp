#include "cli/HelpText.h"

#include "link/PortAddress.h"
#include "platform/LineSettings.h"
#include "platform/SerialDevices.h"
#include "ticket/SlotTable.h"

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
  0  every indicator stored every ticket, or already held them ("already stored");
     query: the indicator answered
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
                   host ends the connection before anything is sent (exit 3, never
                   tried again).
)");

const QString kSettingsHelp = QStringLiteral(
    R"(  --settings FILE  The settings file to take [PortNames] and [SerialPort] from,
                   instead of the one the window uses.
)");

// "  1  Gross/Net/Tare Ticket" and so on: the slots as the indicator numbers them.
QString slotList()
{
    QString list;
    for (int s = 1; s <= SlotTable::kSlotCount; ++s)
        list +=
            QStringLiteral("  %1  %2\n").arg(QString::number(s), SlotTable::caption(s).trimmed());
    return list;
}

const QString kReplacesHelp = QStringLiteral(
    R"(A download replaces all seven slots of the indicator: a slot given no file, or an
empty one, is cleared. The slots are:
)");

const QString kTicketHelp = QStringLiteral(
    R"(  --slot N=FILE    The ticket file for slot N (1 to 7); repeat for each slot.
  --set FILE       The ticket files of a ticket set (.tkset) saved by the window.
  --json           Print one JSON object per indicator on stdout: the fields of the
                   download record (time, channel, baud, version, serial, outcome,
                   seconds, commands, retries, slots, and tls inside TLS) with port
                   and tries; a fleet's rows add line and name.
  --no-record      Do not append the download to the download record
                   (downloads.jsonl in the program's data folder).
  --retries N      Try an indicator again, up to N more times (default 0), when a
                   try ended unreachable, lost, or without an answer. Never after a
                   refusal, a cancel or a wrong setting. Each try is recorded.
  --retry-after S  Seconds between the end of a try and the next (default 10).
)");

const QString kVerboseHelp = QStringLiteral(
    R"(  --verbose        Also print the traffic log's notes (stretches sent again, the
                   line brought back in step); QT_LOGGING_RULES=
                   "talvor.exchange.debug=true" prints every command and reply.
)");

const QString kQueryHelp =
    QStringLiteral(R"(Usage: ticket-talvor-cli query --port PORT [--baud RATE] [--json]
                      [--ca FILE | --pin SHA256:HEX] [--cert FILE --key FILE]

Asks the indicator for its software version and serial number and prints them as
the download record keeps them (without the protocol's bytes).

  --json           Print {"port", "version", "serial", "outcome"} on stdout instead.
)") +
    kPortHelp + kTlsHelp + kSettingsHelp + kVerboseHelp;

const QString kDownloadHead =
    QStringLiteral(R"(Usage: ticket-talvor-cli download --port PORT [--baud RATE]
                         [--ca FILE | --pin SHA256:HEX] [--cert FILE --key FILE]
                         (--slot N=FILE ... | --set FILE.tkset) [--json] [--no-record]
                         [--retries N [--retry-after SECONDS]]

Queries the indicator (version and serial number), then downloads the tickets as the
window's DownLoad does: the pointer table cleared, the data written, the pointers
written last. The indicator's messages go to stderr; on a terminal a progress line
shows bytes sent, exchanges per second and the time left.

)");

const QString kFleetHelp =
    QStringLiteral(
        R"(Usage: ticket-talvor-cli fleet --targets FILE.csv (--slot N=FILE ... | --set FILE.tkset)
                      [--parallel N] [--json] [--no-record] [--skip-stored]
                      [--retries N [--retry-after SECONDS]]
                      [--ca FILE | --pin SHA256:HEX] [--cert FILE --key FILE]

Downloads the same tickets into every indicator of the targets file, up to N at once,
and ends with a table: name, serial number, outcome, seconds (and tries, with
--retries). The exit code is the worst outcome (3, then 1, then 0); rows of the file
that were skipped make a fleet that otherwise stored everything end with 2. Each
download replaces all seven slots, as download does. With --json one object is printed
for every row of the targets file, skipped rows included: a row that could not be
used is {"line", "name", "port", "outcome": "skipped", "reason"}.

The targets file is CSV with the header "name,port" or "name,port,baud" (PORT and
RATE as for download), then any of the columns ca, cert, key and pin for ports
inside TLS; --ca, --cert, --key and --pin give what a row leaves empty:
  name,port,baud,pin
  north-gate,tcp:192.168.1.50:4001,,
  south-gate,COM3,9600,
  yard,rfc2217+tls://192.168.1.51:4001,115200,SHA256:3f0c...
A bad row is reported with its line number and skipped; the others go on.

  --targets FILE   The targets file.
  --parallel N     Downloads at once, 1 to 512 (default 8); an indicator waiting for
                   its next try holds no place.
  --skip-stored    Query each indicator and write nothing to one that the download
                   record shows holding these tickets: its last recorded download on
                   that port went to the same serial number and stored the same
                   tickets (SHA-256), slot by slot. It ends "already stored" (0).
)") +
    kTlsHelp + kTicketHelp + kSettingsHelp + kVerboseHelp;

// Where stable names are, on a system that has them.
QString stableNamesNote()
{
    const QString folder = SerialDevices::stableNamesFolder();
    if (folder.isEmpty())
        return {};
    return QStringLiteral(R"(
A USB adapter's stable name under %1 stays the same when it is plugged
in again, where its ttyUSB number may change: map that name rather than the device.
)")
        .arg(folder);
}

const QString kPortsHelp =
    QStringLiteral(R"(Usage: ticket-talvor-cli ports [--json] [--settings FILE]
       ticket-talvor-cli ports --map COMk=DEVICE [--json] [--settings FILE]

Lists the serial devices of this computer, with what a USB adapter tells of itself
(product, maker, serial number), its stable names and the COM port it is in the
window; then the device behind each of COM1 to COM8, the ports the window offers.
)") +
    stableNamesNote() +
    QStringLiteral(R"(
  --map COMk=DEVICE  Write DEVICE as the device behind COMk into [PortNames] of the
                     settings file, every other line kept as it is; the window takes
                     it at its next start. DEVICE must exist, such as %1.
  --json             Print one JSON object instead: the devices and the COM ports.
)")
        .arg(PortAddress::deviceExample()) +
    QStringLiteral(
        R"(  --settings FILE    The settings file to read and write instead of the one the
                     window uses.
)");

} // namespace

const QList<CommandInfo>& commandTable()
{
    static const QList<CommandInfo> table = {
        {Command::Kind::Query, QStringLiteral("query"),
         QStringLiteral("Read an indicator's software version and serial number."), kQueryHelp},
        {Command::Kind::Download, QStringLiteral("download"),
         QStringLiteral("Download tickets into one indicator."),
         kDownloadHead + kReplacesHelp + slotList() + u'\n' + kPortHelp + kTlsHelp + kTicketHelp +
             kSettingsHelp + kVerboseHelp},
        {Command::Kind::Fleet, QStringLiteral("fleet"),
         QStringLiteral("Download the same tickets into many indicators at once."), kFleetHelp},
        {Command::Kind::Ports, QStringLiteral("ports"),
         QStringLiteral("List the serial devices and the COM port each is; map a COM port."),
         kPortsHelp},
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
