#include "cli/TargetsFile.h"

#include "link/ChannelSettings.h"

#include <QHash>
#include <QStringList>
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

// The rows read so far, for the rows that repeat a name or a port.
struct Seen {
    QHash<QString, int> names;
    QHash<QString, int> ports;
};

// A row's target, or why it names none.
std::variant<Target, QString> readRow(const QStringList& fields, int columns, const Seen& seen)
{
    if (fields.size() < 2 || fields.size() > columns)
        return QStringLiteral("%1 fields, where the header has %2").arg(fields.size()).arg(columns);
    Target target;
    target.name = fields.at(0);
    if (target.name.isEmpty())
        return QStringLiteral("no name");
    if (const int earlier = seen.names.value(target.name); earlier != 0)
        return QStringLiteral("the name %1 is already on line %2").arg(target.name).arg(earlier);
    QString error;
    const std::optional<PortAddress> port = PortAddress::parse(fields.at(1), &error);
    if (!port)
        return error;
    target.port = *port;
    if (const QString baudText = fields.value(2); !baudText.isEmpty()) {
        if (!port->takesRate())
            return QStringLiteral("a baud rate, but %1 is no serial port").arg(port->text);
        const std::optional<int> baud = parseBaud(baudText, &error);
        if (!baud)
            return error;
        target.baud = *baud;
    }
    if (const int earlier = seen.ports.value(port->identity()); earlier != 0)
        return QStringLiteral("the port %1 is already on line %2").arg(port->text).arg(earlier);
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
    Seen seen;
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
        auto row = readRow(*fields, columns, seen);
        if (const QString* fault = std::get_if<QString>(&row)) {
            fleet.badRows.append({lineNumber, fields->value(0), *fault});
            continue;
        }
        Target target = std::get<Target>(std::move(row));
        target.line = lineNumber;
        seen.names.insert(target.name, lineNumber);
        seen.ports.insert(target.port.identity(), lineNumber);
        fleet.targets.append(target);
    }
    if (columns == 0)
        fleet.fault = QStringLiteral("the file is empty: it needs the header \"name,port\" or "
                                     "\"name,port,baud\" and a row per indicator");
    else if (fleet.targets.isEmpty() && fleet.badRows.isEmpty())
        fleet.fault = QStringLiteral("the file names no indicator, only the header");
    return fleet;
}

} // namespace Cli
