#include "cli/CommandLine.h"

#include "cli/HelpText.h"
#include "platform/TextRoutines.h"
#include "ticket/SlotTable.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace Cli {

namespace {

const QString kProgram = QStringLiteral("ticket-talvor-cli");

// Every option any command takes; each command takes some of them.
struct Options {
    QCommandLineOption help{QStringList{QStringLiteral("help"), QStringLiteral("h")}};
    QCommandLineOption port{QStringLiteral("port"), {}, QStringLiteral("PORT")};
    QCommandLineOption baud{QStringLiteral("baud"), {}, QStringLiteral("RATE")};
    QCommandLineOption settings{QStringLiteral("settings"), {}, QStringLiteral("FILE")};
    QCommandLineOption slot{QStringLiteral("slot"), {}, QStringLiteral("N=FILE")};
    QCommandLineOption set{QStringLiteral("set"), {}, QStringLiteral("FILE")};
    QCommandLineOption json{QStringLiteral("json")};
    QCommandLineOption noRecord{QStringLiteral("no-record")};
    QCommandLineOption targets{QStringLiteral("targets"), {}, QStringLiteral("FILE")};
    QCommandLineOption parallel{QStringLiteral("parallel"), {}, QStringLiteral("N")};
    QCommandLineOption verbose{QStringLiteral("verbose")};
    QCommandLineOption retries{QStringLiteral("retries"), {}, QStringLiteral("N")};
    QCommandLineOption retryAfter{QStringLiteral("retry-after"), {}, QStringLiteral("SECONDS")};
    QCommandLineOption skipStored{QStringLiteral("skip-stored")};
    QCommandLineOption ca{QStringLiteral("ca"), {}, QStringLiteral("FILE")};
    QCommandLineOption cert{QStringLiteral("cert"), {}, QStringLiteral("FILE")};
    QCommandLineOption key{QStringLiteral("key"), {}, QStringLiteral("FILE")};
    QCommandLineOption pin{QStringLiteral("pin"), {}, QStringLiteral("SHA256:HEX")};
    QCommandLineOption map{QStringLiteral("map"), {}, QStringLiteral("COMk=DEVICE")};

    QList<QCommandLineOption> of(Command::Kind kind) const
    {
        switch (kind) {
        case Command::Kind::Query:
            return {help, settings, port, baud, ca, cert, key, pin, json, verbose};
        case Command::Kind::Download:
            return {help, settings, port, baud,     ca,      cert,    key,       pin,
                    slot, set,      json, noRecord, verbose, retries, retryAfter};
        case Command::Kind::Fleet:
            return {help, settings, targets, parallel, ca,      cert,    key,        pin,
                    slot, set,      json,    noRecord, verbose, retries, retryAfter, skipStored};
        case Command::Kind::Ports:
            return {help, settings, map, json};
        case Command::Kind::Help:
        case Command::Kind::Version:
            break;
        }
        return {help, settings};
    }
};

// --port and --baud of query and download; the error, or nothing.
QString readPort(const QCommandLineParser& parser, const Options& o, Command& command)
{
    if (!parser.isSet(o.port))
        return QStringLiteral("--port PORT is missing");
    QString error;
    const std::optional<PortAddress> address = PortAddress::parse(parser.value(o.port), &error);
    if (!address)
        return QStringLiteral("--port: ") + error;
    command.port = *address;
    if (!command.tls.isEmpty() && !address->isTls())
        return QStringLiteral("--ca, --cert, --key and --pin apply to rfc2217+tls:// and tls: "
                              "ports, and %1 is not inside TLS")
            .arg(address->text);
    if (!parser.isSet(o.baud))
        return {};
    if (!address->takesRate())
        return QStringLiteral("--baud applies to serial ports, rfc2217:// and rfc2217+tls://, "
                              "and %1 is a raw network port")
            .arg(address->text);
    const std::optional<int> rate = parseBaud(parser.value(o.baud), &error);
    if (!rate)
        return QStringLiteral("--baud: ") + error;
    command.baud = *rate;
    command.baudGiven = true;
    return {};
}

// --ca, --cert, --key and --pin: the trust of a port inside TLS, or a fleet's defaults.
QString readTls(const QCommandLineParser& parser, const Options& o, Command& command)
{
    command.tls = TlsTrust{parser.value(o.ca), parser.value(o.cert), parser.value(o.key),
                           parser.value(o.pin)};
    for (const QCommandLineOption* option : {&o.ca, &o.cert, &o.key, &o.pin}) {
        if (parser.isSet(*option) && parser.value(*option).trimmed().isEmpty())
            return QStringLiteral("--%1 needs a value").arg(option->names().constFirst());
    }
    const QString fault = tlsTrustFault(command.tls);
    return fault.isEmpty() ? QString() : QStringLiteral("--ca, --cert, --key, --pin: ") + fault;
}

// --targets and --parallel of a fleet.
QString readFleet(const QCommandLineParser& parser, const Options& o, Command& command)
{
    if (!parser.isSet(o.targets))
        return QStringLiteral("--targets FILE is missing");
    command.targetsPath = parser.value(o.targets);
    if (!parser.isSet(o.parallel))
        return {};
    bool ok = false;
    command.parallel = parser.value(o.parallel).toInt(&ok, 10);
    if (!ok || command.parallel < 1 || command.parallel > kMaxParallel)
        return QStringLiteral("--parallel needs a whole number from 1 to %1, not '%2'")
            .arg(QString::number(kMaxParallel), parser.value(o.parallel));
    return {};
}

// --retries and --retry-after of download and fleet.
QString readRetries(const QCommandLineParser& parser, const Options& o, Command& command)
{
    if (parser.isSet(o.retries)) {
        bool ok = false;
        command.retries = parser.value(o.retries).toInt(&ok, 10);
        if (!ok || command.retries < 0 || command.retries > kMaxRetries)
            return QStringLiteral("--retries needs a whole number from 0 to %1, not '%2'")
                .arg(QString::number(kMaxRetries), parser.value(o.retries));
    }
    if (parser.isSet(o.retryAfter)) {
        bool ok = false;
        const double seconds = parser.value(o.retryAfter).toDouble(&ok);
        if (!ok || !(seconds >= 0) || seconds > kMaxRetryAfter.count())
            return QStringLiteral("--retry-after needs seconds from 0 to %1, not '%2'")
                .arg(QString::number(kMaxRetryAfter.count()), parser.value(o.retryAfter));
        command.retryAfter = std::chrono::milliseconds(qint64(seconds * 1000.0));
    }
    return {};
}

// --map COMk=DEVICE of ports; whether the device exists is for the run to tell.
QString readMap(const QCommandLineParser& parser, const Options& o, Command& command)
{
    if (!parser.isSet(o.map))
        return {};
    const QString value = parser.value(o.map);
    const qsizetype equals = value.indexOf(u'=');
    const QString usage = QStringLiteral("--map needs COMk=DEVICE, such as --map COM1=%1, not '%2'")
                              .arg(PortAddress::deviceExample(), TextRoutines::cutText(value));
    if (equals < 0 || value.mid(equals + 1).trimmed().isEmpty())
        return usage;
    QString error;
    const std::optional<PortAddress> com = PortAddress::parse(value.left(equals), &error);
    if (!com)
        return QStringLiteral("--map: ") + error;
    if (com->kind != PortAddress::Kind::Com)
        return usage;
    command.mapCom = com->comNumber;
    command.mapDevice = value.mid(equals + 1).trimmed();
    return {};
}

// One --slot N=FILE.
QString readSlot(const QString& value, Command& command)
{
    // Split by hand: a file name may hold escaped bytes, which no pattern matches.
    const qsizetype equals = value.indexOf(u'=');
    const QString slotText = value.left(equals);
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (equals < 0 || equals == value.size() - 1 || !digits.match(slotText).hasMatch())
        return QStringLiteral("--slot needs N=FILE, such as --slot 1=gross.prn, not '%1'")
            .arg(value);
    const int number = slotText.toInt();
    if (number < 1 || number > SlotTable::kSlotCount)
        return QStringLiteral("--slot %1: there is no slot %2; the slots are 1 to %3")
            .arg(value, slotText, QString::number(SlotTable::kSlotCount));
    for (const auto& [earlier, file] : std::as_const(command.slotFiles)) {
        if (earlier == number)
            return QStringLiteral("slot %1 is given twice").arg(number);
    }
    command.slotFiles.append({number, value.mid(equals + 1)});
    return {};
}

// The tickets of download and fleet: --slot or --set, one of them.
QString readTickets(const QCommandLineParser& parser, const Options& o, Command& command)
{
    const QStringList slotValues = parser.values(o.slot);
    if (slotValues.isEmpty() == !parser.isSet(o.set))
        return QStringLiteral("give the tickets either with --slot N=FILE or with --set FILE, "
                              "not both and not neither");
    command.setPath = parser.value(o.set);
    if (parser.isSet(o.set) && command.setPath.trimmed().isEmpty())
        return QStringLiteral("no set given: --set needs a ticket set file (*.tkset)");
    for (const QString& value : slotValues) {
        if (const QString error = readSlot(value, command); !error.isEmpty())
            return error;
    }
    return {};
}

// An argument that is no option, or an option of one value given twice.
QString extraArgument(const QCommandLineParser& parser, const Options& o,
                      const QList<QCommandLineOption>& taken)
{
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument '%1'")
            .arg(parser.positionalArguments().constFirst());
    for (const QCommandLineOption& option : taken) {
        if (!option.valueName().isEmpty() && option.names() != o.slot.names() &&
            parser.values(option).size() > 1)
            return QStringLiteral("--%1 is given more than once").arg(option.names().constFirst());
    }
    return {};
}

// Where the command goes and what it sends: the port or the targets, the tickets, the map.
QString readWhere(const QCommandLineParser& parser, const Options& o, Command& command)
{
    switch (command.kind) {
    case Command::Kind::Query:
        return readPort(parser, o, command);
    case Command::Kind::Download:
        if (QString error = readPort(parser, o, command); !error.isEmpty())
            return error;
        return readTickets(parser, o, command);
    case Command::Kind::Fleet:
        if (QString error = readFleet(parser, o, command); !error.isEmpty())
            return error;
        return readTickets(parser, o, command);
    case Command::Kind::Ports:
        return readMap(parser, o, command);
    case Command::Kind::Help:
    case Command::Kind::Version:
        break;
    }
    return {};
}

// The options after the command's word; the error, or nothing.
QString readOptions(const QStringList& arguments, Command& command)
{
    const Options o;
    const QList<QCommandLineOption> taken = o.of(command.kind);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(taken);
    if (!parser.parse(QStringList{kProgram} + arguments))
        return parser.errorText();
    if (parser.isSet(o.help)) {
        command.helpTopic = findCommand(command.kind)->word;
        command.kind = Command::Kind::Help;
        return {};
    }
    if (const QString error = extraArgument(parser, o, taken); !error.isEmpty())
        return error;
    command.settingsPath = parser.value(o.settings);
    const auto takes = [&](const QCommandLineOption& option) {
        return std::any_of(taken.begin(), taken.end(),
                           [&](const auto& t) { return t.names() == option.names(); });
    };
    const auto isSet = [&](const QCommandLineOption& option) {
        return takes(option) && parser.isSet(option);
    };
    command.json = isSet(o.json);
    command.noRecord = isSet(o.noRecord);
    command.verbose = isSet(o.verbose);
    command.skipStored = isSet(o.skipStored);
    if (takes(o.retries)) {
        if (QString error = readRetries(parser, o, command); !error.isEmpty())
            return error;
    }
    if (takes(o.ca)) {
        if (QString error = readTls(parser, o, command); !error.isEmpty())
            return error;
    }
    return readWhere(parser, o, command);
}

} // namespace

ParseResult parseArguments(const QStringList& arguments)
{
    ParseResult result;
    if (arguments.isEmpty()) {
        result.error = QStringLiteral("no command given: give ") + commandChoices();
        return result;
    }
    Command command;
    const QString word = arguments.first();
    if (word == QLatin1String("--help") || word == QLatin1String("-h") ||
        word == QLatin1String("help")) {
        command.kind = Command::Kind::Help;
        command.helpTopic = arguments.value(1);
        if (!command.helpTopic.isEmpty() && !findCommand(command.helpTopic))
            result.error = QStringLiteral("there is no command '%1': give %2")
                               .arg(command.helpTopic, commandChoices());
        else
            result.command = command;
        return result;
    }
    if (word == QLatin1String("--version")) {
        command.kind = Command::Kind::Version;
        result.command = command;
        return result;
    }
    const CommandInfo* info = findCommand(word);
    if (!info) {
        result.error =
            QStringLiteral("there is no command '%1': give %2").arg(word, commandChoices());
        return result;
    }
    command.kind = info->kind;
    if (const QString error = readOptions(arguments.mid(1), command); !error.isEmpty()) {
        result.error = word + QStringLiteral(": ") + error;
        return result;
    }
    result.command = command;
    return result;
}

} // namespace Cli
