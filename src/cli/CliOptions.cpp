#include "cli/CliOptions.h"

#include "link/ChannelManager.h"
#include "ticket/Downloader.h"
#include "ticket/TicketSet.h"
#include "ticket/TicketSlots.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace Cli {

namespace {

const QString kProgram = QStringLiteral("ticket-talvor-cli");

// A device path as this system writes one, for the help and the messages.
#ifdef Q_OS_UNIX
const QString kDeviceExample = QStringLiteral("/dev/ttyUSB0");
#else
const QString kDeviceExample = QStringLiteral("\\\\.\\COM10");
#endif

const QString kOverview = QStringLiteral(R"(Usage: ticket-talvor-cli COMMAND [options]

Downloads ticket templates into weighing indicators without the window: the same
query, the same download and the same messages, over a serial port or TCP/IP.

Commands:
  query      Read an indicator's software version and serial number.
  download   Download tickets into one indicator.
  fleet      Download the same tickets into many indicators at once.
  help CMD   Show the options of a command (also: CMD --help).

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
                   %1, or tcp:HOST:PORT.
  --baud RATE      4800, 9600, 19200, 38400, 57600 or 115200; 19200 when not
                   given. Serial ports only.
)")
        .arg(kDeviceExample);

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

The targets file is CSV with the header "name,port" or "name,port,baud":
  name,port,baud
  north-gate,tcp:192.168.1.50:4001,
  south-gate,COM3,9600
A bad row is reported with its line number and skipped; the others go on.

  --targets FILE   The targets file.
  --parallel N     Downloads at once, 1 to 512 (default 8).
)") +
    kTicketHelp + kSettingsHelp;

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

// Splits one CSV line; quoted fields keep commas, and "" inside quotes is one quote.
std::optional<QStringList> splitCsvLine(const QString& line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line.at(i + 1) == u'"') {
                field.append(u'"');
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field.append(c);
            }
        } else if (c == u'"' && field.trimmed().isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
            field.clear();
        } else if (c == u',') {
            fields.append(wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else if (wasQuoted && !c.isSpace()) {
            return std::nullopt; // text after a closing quote
        } else if (!wasQuoted) {
            field.append(c);
        }
    }
    if (quoted)
        return std::nullopt;
    fields.append(wasQuoted ? field : field.trimmed());
    return fields;
}

} // namespace

QString PortAddress::identity() const
{
    switch (kind) {
    case Kind::Com:
        return QStringLiteral("COM%1").arg(comNumber);
    case Kind::Device: {
        const QString canonical = QFileInfo(device).canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(device) : canonical;
    }
    case Kind::Tcp:
        break;
    }
    return QStringLiteral("tcp:%1:%2").arg(host.toLower()).arg(tcpPort);
}

std::optional<PortAddress> parsePort(const QString& given, QString* error)
{
    const QString text = given.trimmed();
    PortAddress address;
    address.text = text;
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = com.match(text); match.hasMatch()) {
        const int number = match.captured(1).toInt();
        if (number < 1 || number > SerialPort::kPortCount) {
            fail(error, QStringLiteral("there is no port %1: the COM ports are COM1 to COM%2; "
                                       "give the device path of any other")
                            .arg(text)
                            .arg(SerialPort::kPortCount));
            return std::nullopt;
        }
        address.kind = PortAddress::Kind::Com;
        address.comNumber = number;
        return address;
    }
    if (text.startsWith(QStringLiteral("tcp:"), Qt::CaseInsensitive)) {
        const QString rest = text.mid(4);
        QString host;
        QString port;
        if (rest.startsWith(u'[')) {
            const qsizetype close = rest.indexOf(u']');
            if (close > 1 && rest.mid(close + 1, 1) == QStringLiteral(":")) {
                host = rest.mid(1, close - 1);
                port = rest.mid(close + 2);
            }
        } else if (const qsizetype colon = rest.lastIndexOf(u':'); colon > 0) {
            host = rest.left(colon);
            port = rest.mid(colon + 1);
        }
        bool ok = false;
        const uint number = port.toUInt(&ok, 10);
        static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
        if (host.isEmpty() || host.contains(u' ') || !digits.match(port).hasMatch() || !ok ||
            number < 1 || number > 65535) {
            fail(error, QStringLiteral("'%1' is no TCP/IP endpoint: give tcp:HOST:PORT with a "
                                       "port from 1 to 65535, such as tcp:192.168.1.50:4001")
                            .arg(text));
            return std::nullopt;
        }
        address.kind = PortAddress::Kind::Tcp;
        address.host = host;
        address.tcpPort = quint16(number);
        return address;
    }
    if (!text.isEmpty() && QDir::isAbsolutePath(text)) {
        address.kind = PortAddress::Kind::Device;
        address.device = text;
        return address;
    }
    const QString choices =
        QStringLiteral("give COM1 to COM8, a device path such as %1, or tcp:HOST:PORT")
            .arg(kDeviceExample);
    fail(error, text.isEmpty() ? QStringLiteral("no port given: ") + choices
                               : QStringLiteral("'%1' is no port: %2").arg(text, choices));
    return std::nullopt;
}

std::optional<int> parseBaud(const QString& text, QString* error)
{
    bool ok = false;
    const int rate = text.trimmed().toInt(&ok, 10);
    if (ok && ChannelManager::baudCode(rate) >= 0)
        return rate;
    fail(error, QStringLiteral("'%1' is no baud rate the indicator takes: give 4800, 9600, "
                               "19200, 38400, 57600 or 115200")
                    .arg(text));
    return std::nullopt;
}

FleetFile parseFleet(const QByteArray& content)
{
    FleetFile fleet;
    QString text = QString::fromUtf8(content);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(u'\n');
    int columns = 0;
    QHash<QString, int> nameLines;
    QHash<QString, int> portLines;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int lineNumber = int(i) + 1;
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(u'#'))
            continue;
        const std::optional<QStringList> fields = splitCsvLine(line);
        if (columns == 0) {
            QStringList header;
            for (const QString& f : fields.value_or(QStringList()))
                header.append(f.trimmed().toLower());
            if (header == QStringList{"name", "port"} ||
                header == QStringList{"name", "port", "baud"}) {
                columns = int(header.size());
                continue;
            }
            fleet.fault = QStringLiteral("line %1: the first line must be the header "
                                         "\"name,port\" or \"name,port,baud\", not \"%2\"")
                              .arg(lineNumber)
                              .arg(line.trimmed());
            return fleet;
        }
        FleetFile::BadRow bad{lineNumber, {}, {}};
        if (!fields) {
            bad.fault = QStringLiteral("a quote is not closed or text follows a closing quote");
            fleet.badRows.append(bad);
            continue;
        }
        bad.name = fields->value(0);
        if (fields->size() < 2 || fields->size() > columns) {
            bad.fault = QStringLiteral("%1 fields, where the header has %2")
                            .arg(fields->size())
                            .arg(columns);
            fleet.badRows.append(bad);
            continue;
        }
        Target target;
        target.line = lineNumber;
        target.name = fields->at(0);
        if (target.name.isEmpty()) {
            bad.fault = QStringLiteral("no name");
            fleet.badRows.append(bad);
            continue;
        }
        if (const int earlier = nameLines.value(target.name); earlier != 0) {
            bad.fault =
                QStringLiteral("the name %1 is already on line %2").arg(target.name).arg(earlier);
            fleet.badRows.append(bad);
            continue;
        }
        QString error;
        const std::optional<PortAddress> port = parsePort(fields->at(1), &error);
        if (!port) {
            bad.fault = error;
            fleet.badRows.append(bad);
            continue;
        }
        target.port = *port;
        const QString baudText = fields->value(2);
        if (!baudText.isEmpty()) {
            if (!port->isSerial()) {
                bad.fault = QStringLiteral("a baud rate, but %1 is no serial port").arg(port->text);
                fleet.badRows.append(bad);
                continue;
            }
            const std::optional<int> baud = parseBaud(baudText, &error);
            if (!baud) {
                bad.fault = error;
                fleet.badRows.append(bad);
                continue;
            }
            target.baud = *baud;
        }
        if (const int earlier = portLines.value(port->identity()); earlier != 0) {
            bad.fault =
                QStringLiteral("the port %1 is already on line %2").arg(port->text).arg(earlier);
            fleet.badRows.append(bad);
            continue;
        }
        nameLines.insert(target.name, lineNumber);
        portLines.insert(port->identity(), lineNumber);
        fleet.targets.append(target);
    }
    if (columns == 0)
        fleet.fault = QStringLiteral("the file is empty: it needs the header \"name,port\" or "
                                     "\"name,port,baud\" and a row per indicator");
    else if (fleet.targets.isEmpty() && fleet.badRows.isEmpty())
        fleet.fault = QStringLiteral("the file names no indicator, only the header");
    return fleet;
}

QString helpText(const QString& topic)
{
    if (topic == QLatin1String("query"))
        return kQueryHelp;
    if (topic == QLatin1String("download"))
        return kDownloadHelp;
    if (topic == QLatin1String("fleet"))
        return kFleetHelp;
    return kOverview;
}

ParseResult parseArguments(const QStringList& arguments)
{
    ParseResult result;
    const auto usage = [&result](const QString& text) {
        result.error = text;
        return result;
    };
    if (arguments.isEmpty())
        return usage(QStringLiteral("no command given: give query, download or fleet"));

    Command command;
    const QString word = arguments.first();
    if (word == QLatin1String("--help") || word == QLatin1String("-h") ||
        word == QLatin1String("help")) {
        command.kind = Command::Kind::Help;
        if (arguments.size() > 1)
            command.helpTopic = arguments.at(1);
        if (!command.helpTopic.isEmpty() && helpText(command.helpTopic) == kOverview)
            return usage(QStringLiteral("there is no command '%1': give query, download or fleet")
                             .arg(command.helpTopic));
        result.command = command;
        return result;
    }
    if (word == QLatin1String("--version")) {
        command.kind = Command::Kind::Version;
        result.command = command;
        return result;
    }
    if (word == QLatin1String("query"))
        command.kind = Command::Kind::Query;
    else if (word == QLatin1String("download"))
        command.kind = Command::Kind::Download;
    else if (word == QLatin1String("fleet"))
        command.kind = Command::Kind::Fleet;
    else
        return usage(
            QStringLiteral("there is no command '%1': give query, download or fleet").arg(word));

    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption port(QStringLiteral("port"), {}, QStringLiteral("PORT"));
    const QCommandLineOption baud(QStringLiteral("baud"), {}, QStringLiteral("RATE"));
    const QCommandLineOption settings(QStringLiteral("settings"), {}, QStringLiteral("FILE"));
    const QCommandLineOption slot(QStringLiteral("slot"), {}, QStringLiteral("N=FILE"));
    const QCommandLineOption set(QStringLiteral("set"), {}, QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption noRecord(QStringLiteral("no-record"));
    const QCommandLineOption targets(QStringLiteral("targets"), {}, QStringLiteral("FILE"));
    const QCommandLineOption parallel(QStringLiteral("parallel"), {}, QStringLiteral("N"));

    QList<QCommandLineOption> options{help, settings};
    switch (command.kind) {
    case Command::Kind::Query:
        options += {port, baud};
        break;
    case Command::Kind::Download:
        options += {port, baud, slot, set, json, noRecord};
        break;
    case Command::Kind::Fleet:
        options += {targets, parallel, slot, set, json, noRecord};
        break;
    case Command::Kind::Help:
    case Command::Kind::Version:
        break;
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(options);
    // Options the command does not take read as not given.
    const auto isSet = [&](const QCommandLineOption& option) {
        const bool taken = std::any_of(options.begin(), options.end(),
                                       [&](const auto& o) { return o.names() == option.names(); });
        return taken && parser.isSet(option);
    };
    if (!parser.parse(QStringList{kProgram} + arguments.mid(1)))
        return usage(word + QStringLiteral(": ") + parser.errorText());
    if (parser.isSet(help)) {
        command.kind = Command::Kind::Help;
        command.helpTopic = word;
        result.command = command;
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("%1: unexpected argument '%2'")
                         .arg(word, parser.positionalArguments().constFirst()));
    for (const QCommandLineOption* option : {&port, &baud, &settings, &set, &targets, &parallel}) {
        if (isSet(*option) && parser.values(*option).size() > 1)
            return usage(QStringLiteral("%1: --%2 is given more than once")
                             .arg(word, option->names().constFirst()));
    }
    command.settingsPath = parser.value(settings);
    command.json = isSet(json);
    command.noRecord = isSet(noRecord);

    QString error;
    if (command.kind == Command::Kind::Query || command.kind == Command::Kind::Download) {
        if (!parser.isSet(port))
            return usage(QStringLiteral("%1: --port PORT is missing").arg(word));
        const std::optional<PortAddress> address = parsePort(parser.value(port), &error);
        if (!address)
            return usage(QStringLiteral("%1: --port: %2").arg(word, error));
        command.port = *address;
        if (parser.isSet(baud)) {
            if (!address->isSerial())
                return usage(QStringLiteral("%1: --baud applies to serial ports, and %2 is "
                                            "TCP/IP")
                                 .arg(word, address->text));
            const std::optional<int> rate = parseBaud(parser.value(baud), &error);
            if (!rate)
                return usage(QStringLiteral("%1: --baud: %2").arg(word, error));
            command.baud = *rate;
            command.baudGiven = true;
        }
    }
    if (command.kind == Command::Kind::Fleet) {
        if (!parser.isSet(targets))
            return usage(QStringLiteral("fleet: --targets FILE is missing"));
        command.targetsPath = parser.value(targets);
        if (parser.isSet(parallel)) {
            bool ok = false;
            command.parallel = parser.value(parallel).toInt(&ok, 10);
            if (!ok || command.parallel < 1 || command.parallel > kMaxParallel)
                return usage(QStringLiteral("fleet: --parallel needs a whole number from 1 to "
                                            "%1, not '%2'")
                                 .arg(kMaxParallel)
                                 .arg(parser.value(parallel)));
        }
    }
    if (command.kind == Command::Kind::Download || command.kind == Command::Kind::Fleet) {
        const QStringList slotValues = parser.values(slot);
        if (slotValues.isEmpty() == !isSet(set))
            return usage(QStringLiteral("%1: give the tickets either with --slot N=FILE or "
                                        "with --set FILE, not both and not neither")
                             .arg(word));
        command.setPath = parser.value(set);
        static const QRegularExpression slotPattern(QStringLiteral("^([0-9]+)=(.+)$"));
        for (const QString& value : slotValues) {
            const QRegularExpressionMatch match = slotPattern.match(value);
            if (!match.hasMatch())
                return usage(QStringLiteral("%1: --slot needs N=FILE, such as --slot 1=gross.prn, "
                                            "not '%2'")
                                 .arg(word, value));
            const int number = match.captured(1).toInt();
            if (!TicketSlots::isValidSlot(number))
                return usage(QStringLiteral("%1: --slot %2: there is no slot %3; the slots are 1 "
                                            "to %4")
                                 .arg(word, value, match.captured(1))
                                 .arg(SlotTable::kSlotCount));
            for (const auto& [earlier, file] : std::as_const(command.slotFiles)) {
                if (earlier == number)
                    return usage(
                        QStringLiteral("%1: slot %2 is given twice").arg(word).arg(number));
            }
            command.slotFiles.append({number, match.captured(2)});
        }
    }
    result.command = command;
    return result;
}

bool loadTickets(const Command& command, Tickets* tickets, QString* error)
{
    // The window's own loading: the same reading, the same checks, the same messages.
    TicketSlots loaded;
    if (!command.setPath.isEmpty()) {
        TicketSet set;
        if (!TicketSetFile::read(command.setPath, &set, error))
            return false;
        if (const QString fault = loadTicketSet(loaded, set); !fault.isEmpty())
            return fail(error, fault);
    }
    for (const auto& [slot, file] : command.slotFiles) {
        if (!loaded.load(slot, QFileInfo(file).absoluteFilePath(), error))
            return false;
    }
    if (!loaded.anyInUse())
        return fail(error,
                    QStringLiteral("The tickets hold no data: there is nothing to download."));
    if (const QString fault = layoutFault(loaded.contents()); !fault.isEmpty())
        return fail(error, fault);
    tickets->contents = loaded.contents();
    for (int s = 1; s <= SlotTable::kSlotCount; ++s)
        tickets->paths[s - 1] = loaded.path(s);
    return true;
}

} // namespace Cli
