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

const QString kHeaderForm = QStringLiteral("\"name,port\" or \"name,port,baud\" (then any of "
                                           "ca, cert, key and pin)");

// Where the header puts each column; count 0 for a row that is no header.
struct Columns {
    int count = 0;
    int baud = -1;
    int ca = -1;
    int cert = -1;
    int key = -1;
    int pin = -1;
};

Columns headerColumns(const CsvReader::Row& row)
{
    if (!row.fault.isEmpty())
        return {};
    QStringList header;
    for (const QString& f : row.fields)
        header.append(f.trimmed().toLower());
    if (header.size() < 2 || header[0] != QLatin1String("name") ||
        header[1] != QLatin1String("port"))
        return {};
    Columns columns;
    int at = 2;
    if (header.value(at) == QLatin1String("baud"))
        columns.baud = at++;
    for (; at < header.size(); ++at) {
        int* column = header[at] == QLatin1String("ca")     ? &columns.ca
                      : header[at] == QLatin1String("cert") ? &columns.cert
                      : header[at] == QLatin1String("key")  ? &columns.key
                      : header[at] == QLatin1String("pin")  ? &columns.pin
                                                            : nullptr;
        if (!column || *column >= 0)
            return {};
        *column = at;
    }
    columns.count = int(header.size());
    return columns;
}

// The row's trust inside TLS over the defaults: its CA or pin replace both of those, its
// certificate or key both of these.
TlsTrust trustOver(const TlsTrust& defaults, const TlsTrust& own)
{
    TlsTrust trust = defaults;
    if (!own.caFile.isEmpty() || !own.pin.isEmpty()) {
        trust.caFile = own.caFile;
        trust.pin = own.pin;
    }
    if (!own.certFile.isEmpty() || !own.keyFile.isEmpty()) {
        trust.certFile = own.certFile;
        trust.keyFile = own.keyFile;
    }
    return trust;
}

// A row's target, or why it names none; names holds the line of each name read so far.
std::variant<Target, QString> readRow(const QStringList& fields, const Columns& columns,
                                      const QHash<QString, int>& names, const TlsTrust& tls)
{
    if (fields.size() < 2 || fields.size() > columns.count)
        return QStringLiteral("%1, where the header has %2")
            .arg(TerminalTexts::counted(fields.size(), QStringLiteral("field"),
                                        QStringLiteral("fields")),
                 QString::number(columns.count));
    const auto field = [&](int column) {
        return column >= 0 ? fields.value(column).trimmed() : QString();
    };
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
    if (const QString baudText = field(columns.baud); !baudText.isEmpty()) {
        if (!port->takesRate())
            return QStringLiteral("a baud rate, but %1 is no serial port")
                .arg(TextRoutines::cutText(port->text));
        const std::optional<int> baud = parseBaud(baudText, &error);
        if (!baud)
            return error;
        target.baud = *baud;
    }
    const TlsTrust own{field(columns.ca), field(columns.cert), field(columns.key),
                       field(columns.pin)};
    if (own.isEmpty())
        target.tls = port->isTls() ? tls : TlsTrust{};
    else if (!port->isTls())
        return QStringLiteral("a CA, certificate, key or pin, but %1 is no port inside TLS")
            .arg(TextRoutines::cutText(port->text));
    else if (const QString fault = tlsTrustFault(own); !fault.isEmpty())
        return fault;
    else
        target.tls = trustOver(tls, own);
    return target;
}

} // namespace

QString tlsTrustFault(const TlsTrust& trust)
{
    if (!trust.pin.isEmpty() && !TlsTrust::pinDigest(trust.pin))
        return QStringLiteral("'%1' is no pin: give SHA256: and the 64 hex digits of the "
                              "certificate's SHA-256")
            .arg(TextRoutines::cutText(trust.pin));
    if (!trust.pin.isEmpty() && !trust.caFile.isEmpty())
        return QStringLiteral("a pin trusts exactly one certificate and no authority: give a CA "
                              "or a pin, not both");
    if (trust.certFile.isEmpty() != trust.keyFile.isEmpty())
        return trust.keyFile.isEmpty() ? QStringLiteral("a certificate without its key: give both")
                                       : QStringLiteral("a key without its certificate: give both");
    return {};
}

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

FleetFile parseFleet(const QByteArray& content, const TlsTrust& tls)
{
    FleetFile fleet;
    QString text = QString::fromUtf8(content);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    Columns columns;
    QHash<QString, int> names;
    for (const CsvReader::Row& row : CsvReader(text).rows()) {
        if (columns.count == 0) {
            columns = headerColumns(row);
            if (columns.count == 0) {
                fleet.fault =
                    QStringLiteral("line %1: the first line must be the header %2, not %3")
                        .arg(QString::number(row.line), kHeaderForm, quoted(row.fields.join(u',')));
                return fleet;
            }
            continue;
        }
        if (!row.fault.isEmpty()) {
            fleet.badRows.append({row.line, {}, row.fault, row.fields.value(1)});
            continue;
        }
        auto read = readRow(row.fields, columns, names, tls);
        if (const QString* fault = std::get_if<QString>(&read)) {
            fleet.badRows.append({row.line, row.fields.value(0), *fault, row.fields.value(1)});
            continue;
        }
        Target target = std::get<Target>(std::move(read));
        target.line = row.line;
        names.insert(target.name, row.line);
        fleet.targets.append(target);
    }
    if (columns.count == 0)
        fleet.fault =
            QStringLiteral("the file is empty: it needs the header %1 and a row per indicator")
                .arg(kHeaderForm);
    else if (fleet.targets.isEmpty() && fleet.badRows.isEmpty())
        fleet.fault = QStringLiteral("the file names no indicator, only the header");
    return fleet;
}

FleetFile readFleet(const QString& path, const TlsTrust& tls)
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
    fleet = parseFleet(*content, tls);
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
