#include "cli/TargetsFile.h"

#include "link/ChannelSettings.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <optional>
#include <variant>

namespace Cli {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
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

// The header's column count, or 0 for a line that is no header.
int headerColumns(const std::optional<QStringList>& fields)
{
    QStringList header;
    for (const QString& f : fields.value_or(QStringList()))
        header.append(f.trimmed().toLower());
    if (header == QStringList{"name", "port"} || header == QStringList{"name", "port", "baud"})
        return int(header.size());
    return 0;
}

// A row's target, or why it names none; names holds the line of each name read so far.
std::variant<Target, QString> readRow(const QStringList& fields, int columns,
                                      const QHash<QString, int>& names)
{
    if (fields.size() < 2 || fields.size() > columns)
        return QStringLiteral("%1 fields, where the header has %2").arg(fields.size()).arg(columns);
    Target target;
    target.name = fields.at(0);
    if (target.name.isEmpty())
        return QStringLiteral("no name");
    if (const int earlier = names.value(target.name); earlier != 0)
        return QStringLiteral("the name %1 is already on line %2").arg(target.name).arg(earlier);
    QString error;
    const std::optional<PortAddress> port = PortAddress::parse(fields.at(1), &error);
    if (!port)
        return error;
    target.port = *port;
    if (const QString baudText = fields.value(2); !baudText.isEmpty()) {
        if (!port->isSerial())
            return QStringLiteral("a baud rate, but %1 is no serial port").arg(port->text);
        const std::optional<int> baud = parseBaud(baudText, &error);
        if (!baud)
            return error;
        target.baud = *baud;
    }
    return target;
}

} // namespace

std::optional<int> parseBaud(const QString& text, QString* error)
{
    bool ok = false;
    const int rate = text.trimmed().toInt(&ok, 10);
    if (ok && ChannelSettings::baudCode(rate) >= 0)
        return rate;
    setError(error, QStringLiteral("'%1' is no baud rate the indicator takes: give 4800, 9600, "
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
    QHash<QString, int> names;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int lineNumber = int(i) + 1;
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(u'#'))
            continue;
        const std::optional<QStringList> fields = splitCsvLine(line);
        if (columns == 0) {
            columns = headerColumns(fields);
            if (columns == 0) {
                fleet.fault = QStringLiteral("line %1: the first line must be the header "
                                             "\"name,port\" or \"name,port,baud\", not \"%2\"")
                                  .arg(lineNumber)
                                  .arg(line.trimmed());
                return fleet;
            }
            continue;
        }
        if (!fields) {
            fleet.badRows.append({lineNumber,
                                  {},
                                  QStringLiteral("a quote is not closed or text follows a "
                                                 "closing quote")});
            continue;
        }
        auto row = readRow(*fields, columns, names);
        if (const QString* fault = std::get_if<QString>(&row)) {
            fleet.badRows.append({lineNumber, fields->value(0), *fault});
            continue;
        }
        Target target = std::get<Target>(std::move(row));
        target.line = lineNumber;
        names.insert(target.name, lineNumber);
        fleet.targets.append(target);
    }
    if (columns == 0)
        fleet.fault = QStringLiteral("the file is empty: it needs the header \"name,port\" or "
                                     "\"name,port,baud\" and a row per indicator");
    else if (fleet.targets.isEmpty() && fleet.badRows.isEmpty())
        fleet.fault = QStringLiteral("the file names no indicator, only the header");
    return fleet;
}

void refuseSamePorts(FleetFile& fleet, const std::function<QStringList(const PortAddress&)>& reach)
{
    struct Earlier {
        int line;
        QString port;
    };
    QHash<QString, Earlier> seen; // where a port leads, and the first row that went there
    QList<Target> kept;
    for (const Target& target : std::as_const(fleet.targets)) {
        const QStringList places = reach(target.port);
        const auto place = std::find_if(places.begin(), places.end(),
                                        [&](const QString& p) { return seen.contains(p); });
        if (place == places.end()) {
            for (const QString& p : places)
                seen.insert(p, {target.line, target.port.text});
            kept.append(target);
            continue;
        }
        const Earlier& earlier = seen[*place];
        QString fault = QStringLiteral("the port %1 is already on line %2")
                            .arg(target.port.text)
                            .arg(earlier.line);
        if (earlier.port != target.port.text)
            fault += QStringLiteral(" as %1 (both reach %2)").arg(earlier.port, *place);
        fleet.badRows.append({target.line, target.name, fault});
    }
    fleet.targets = kept;
    std::stable_sort(fleet.badRows.begin(), fleet.badRows.end(),
                     [](const auto& a, const auto& b) { return a.line < b.line; });
}

} // namespace Cli
