#include "cli/HelpText.h"

#include "link/PortAddress.h"
#include "platform/LineSettings.h"
#include "platform/SerialDevices.h"

namespace Cli {

namespace {

const QString kOverviewHead = QStringLiteral(R"(Usage: ticket-talvor-cli COMMAND [options]

Downloads ticket templates into weighing indicators without the window: the same
query, the same download and the same messages, over a serial port or TCP/IP.

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
                   %1, tcp:HOST:PORT (a raw TCP port), or
                   rfc2217://HOST:PORT (a serial device server or ser2net that
                   speaks RFC 2217: the program sets its line's rate).
  --baud RATE      %2; 19200 when not
                   given. Serial ports and rfc2217:// only: a raw TCP port's
                   rate is set on the device server itself.
)")
        .arg(PortAddress::deviceExample(), LineSettings::ratesText());

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

Asks the indicator for its software version and serial number and prints them as
the window shows them.

)") + kPortHelp + kSettingsHelp;

const QString kDownloadHelp =
    QStringLiteral(R"(Usage: ticket-talvor-cli download --port PORT [--baud RATE]
                         (--slot N=FILE ... | --set FILE.tkset) [--json] [--no-record]

Queries the indicator (version and serial number), then downloads the tickets as the
window's DownLoad does: the pointer table cleared, the data written, the pointers
written last. The indicator's messages go to stderr; on a terminal a progress line
shows bytes sent, exchanges per second and the time left.

)") +
    kPortHelp + kTicketHelp + kSettingsHelp;

const QString kFleetHelp =
    QStringLiteral(
        R"(Usage: ticket-talvor-cli fleet --targets FILE.csv (--slot N=FILE ... | --set FILE.tkset)
                      [--parallel N] [--json] [--no-record]

Downloads the same tickets into every indicator of the targets file, up to N at once,
and ends with a table: name, serial number, outcome, seconds. The exit code is the
worst outcome (3, then 1, then 0); rows of the file that were skipped make a fleet
that otherwise stored everything end with 2.

The targets file is CSV with the header "name,port" or "name,port,baud" (PORT and
RATE as for download):
  name,port,baud
  north-gate,tcp:192.168.1.50:4001,
  south-gate,COM3,9600
A bad row is reported with its line number and skipped; the others go on.

  --targets FILE   The targets file.
  --parallel N     Downloads at once, 1 to 512 (default 8).
)") +
    kTicketHelp + kSettingsHelp;

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
    QStringLiteral(R"(Usage: ticket-talvor-cli ports [--json]
       ticket-talvor-cli ports --map COMk=DEVICE [--json]

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
         QStringLiteral("Download tickets into one indicator."), kDownloadHelp},
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
