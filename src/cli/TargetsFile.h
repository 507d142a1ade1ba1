#pragma once

#include "link/PortAddress.h"
#include "platform/LineSettings.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace Cli {

constexpr int kDefaultBaud = LineSettings::kDefaultRate;

// One indicator of a run: where it is and at what rate.
struct Target {
    QString name; // the fleet file's name; empty for a single download
    PortAddress port;
    int baud = kDefaultBaud; // serial only
    int line = 0;            // in the fleet file
};

struct FleetFile {
    QList<Target> targets;
    // Rows that were skipped: their line and why.
    struct BadRow {
        int line = 0;
        QString name; // as far as it could be read
        QString fault;
        QString port; // as far as it could be read
    };
    QList<BadRow> badRows;
    // A fault of the whole file (no header, nothing to do); empty when it can be used.
    QString fault;
};

// A CSV file with the header "name,port" or "name,port,baud" and a row per indicator. Blank
// lines and lines starting with '#' are skipped; fields may be quoted ("...", "" for a quote).
// A row that names no usable target is listed with its line number; the others are kept.
FleetFile parseFleet(const QByteArray& content);

// A targets file holds thousands of indicators in a few hundred KB; this stops a wrong file.
constexpr qint64 kMaxFleetFileSize = 4 * 1024 * 1024;

// The targets file at the path, read and parsed; a fault of the whole file names it.
FleetFile readFleet(const QString& path);

// Moves each row whose port reaches an earlier row's indicator, however spelled, to the bad rows,
// as the rows that repeat a name are; reach(port) lists where a port leads.
void refuseSamePorts(FleetFile& fleet, const std::function<QStringList(const PortAddress&)>& reach);

// One of the six rates the indicator takes.
std::optional<int> parseBaud(const QString& text, QString* error);

} // namespace Cli
