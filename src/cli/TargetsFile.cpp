#include "cli/TargetsFile.h"

#include "cli/CsvReader.h"
#include "cli/TerminalTexts.h"
#include "platform/LineSettings.h"
#include "platform/SystemNames.h"
#include "platform/TextRoutines.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <variant>

namespace Cli {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// "text" for a message, cut to fit a line.
QString quoted(const QString& text)
{
    return u'"' + TextRoutines::cutText(text) + u'"';
}

// The header's column count, or 0 for a row that is no header.
int headerColumns(const CsvReader::Row& row)
{
    if (!row.fault.isEmpty())
        return 0;
    QStringList header;
    for (const QString& f : row.fields)
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
        return QStringLiteral("%1, where the header has %2")
            .arg(TerminalTexts::counted(fields.size(), QStringLiteral("field"),
                                        QStringLiteral("fields")),
                 QString::number(columns));
    Target target;
    target.name = fields.at(0);
    if (target.name.isEmpty())
        return QStringLiteral("no name");
    if (const int earlier = names.value(target.name); earlier != 0)
        return QStringLiteral("the name %1 is already on line %2")
            .arg(TextRoutines::cutText(target.name), QString::number(earlier));
    QString error;
    const std::optional<PortAddress> port = PortAddress::parse(fields.at(1), &error);
    if (!port)
        return error;
    target.port = *port;
    if (const QString baudText = fields.value(2); !baudText.isEmpty()) {
        if (!port->takesRate())
            return QStringLiteral("a baud rate, but %1 is no serial port")
                .arg(TextRoutines::cutText(port->text));
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
    if (ok && LineSettings::isIndicatorRate(rate))
        return rate;
    setError(error, QStringLiteral("'%1' is no baud rate the indicator takes: give %2")
                        .arg(TextRoutines::cutText(text), LineSettings::ratesText()));
    return std::nullopt;
}

FleetFile parseFleet(const QByteArray& content)
{
    FleetFile fleet;
    QString text = QString::fromUtf8(content);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    int columns = 0;
    QHash<QString, int> names;
    for (const CsvReader::Row& row : CsvReader(text).rows()) {
        if (columns == 0) {
            columns = headerColumns(row);
            if (columns == 0) {
                fleet.fault = QStringLiteral("line %1: the first line must be the header "
                                             "\"name,port\" or \"name,port,baud\", not %2")
                                  .arg(QString::number(row.line), quoted(row.fields.join(u',')));
                return fleet;
            }
            continue;
        }
        if (!row.fault.isEmpty()) {
            fleet.badRows.append({row.line, {}, row.fault, row.fields.value(1)});
            continue;
        }
        auto read = readRow(row.fields, columns, names);
        if (const QString* fault = std::get_if<QString>(&read)) {
            fleet.badRows.append({row.line, row.fields.value(0), *fault, row.fields.value(1)});
            continue;
        }
        Target target = std::get<Target>(std::move(read));
        target.line = row.line;
        names.insert(target.name, row.line);
        fleet.targets.append(target);
    }
    if (columns == 0)
        fleet.fault = QStringLiteral("the file is empty: it needs the header \"name,port\" or "
                                     "\"name,port,baud\" and a row per indicator");
    else if (fleet.targets.isEmpty() && fleet.badRows.isEmpty())
        fleet.fault = QStringLiteral("the file names no indicator, only the header");
    return fleet;
}

FleetFile readFleet(const QString& path)
{
    FleetFile fleet;
    QString why;
    const std::optional<QByteArray> content = SystemNames::readStart(path, kMaxFleetFileSize, &why);
    if (!content) {
        fleet.fault = QStringLiteral("The targets file %1 could not be read: %2").arg(path, why);
        return fleet;
    }
    if (content->size() > kMaxFleetFileSize) {
        fleet.fault = QStringLiteral("The targets file %1 is larger than %2 MiB, where thousands "
                                     "of indicators take a few hundred KB: is it the right file?")
                          .arg(path, QString::number(kMaxFleetFileSize / (1024 * 1024)));
        return fleet;
    }
    fleet = parseFleet(*content);
    if (!fleet.fault.isEmpty())
        fleet.fault = QStringLiteral("%1: %2").arg(path, fleet.fault);
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
                            .arg(target.port.text, QString::number(earlier.line));
        if (earlier.port != target.port.text)
            fault += QStringLiteral(" as %1 (both reach %2)").arg(earlier.port, *place);
        fleet.badRows.append({target.line, target.name, fault, target.port.text});
    }
    fleet.targets = kept;
    std::stable_sort(fleet.badRows.begin(), fleet.badRows.end(),
                     [](const auto& a, const auto& b) { return a.line < b.line; });
}

} // namespace Cli
