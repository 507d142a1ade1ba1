#pragma once

#include "platform/TlsTrust.h"
#include "ticket/SlotTable.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <array>
#include <optional>

// What one download did to one indicator, for the log of downloads the window and the command
// line both append to: where it went, what the indicator said it was, and which tickets it now
// holds.
struct DownloadRecord {
    struct Slot {
        int slot = 0;
        QString file;
        qint64 size = 0;
        QString sha256; // lower-case hex of the bytes sent
        bool stored = false;

        friend bool operator==(const Slot&, const Slot&) = default;
    };

    QDateTime time;          // ISO 8601 with offset in JSON
    QString channel;         // "COM 1 /dev/ttyUSB0" or "192.168.1.50:4001"
    int baud = 0;            // 0 for TCP/IP
    QString version, serial; // from the last query
    QString outcome;         // Outcomes::word(): "stored", "refused", "stopped", ...
    double seconds = 0;
    int commands = 0;
    int retries = 0;
    QList<Slot> tickets; // each slot holding data, in slot order; "slots" in JSON
    // Inside TLS: the device server's certificate that was verified ("tls" in JSON, left out
    // otherwise, as every line written before had it).
    std::optional<PeerIdentity> tls;

    QJsonObject toJson() const;
    // Nothing when a field is missing or of the wrong kind: a damaged line is no record.
    static std::optional<DownloadRecord> fromJson(const QJsonObject& object);
    // Each slot holding data, with its file, size and hash; none stored yet.
    static QList<Slot> ticketsOf(const SlotTable::Contents& contents,
                                 const SlotTable::Paths& paths);
    // An indicator's text as a record keeps it: without the protocol's bytes (the ACK that ends
    // a version or a serial number, NAK, NUL, CR, LF), so that one indicator reads alike
    // everywhere; any other byte stays.
    static QString indicatorText(const QByteArray& text);

    friend bool operator==(const DownloadRecord&, const DownloadRecord&) = default;
};

// The log of downloads: one JSON object a line, oldest first.
namespace DownloadLog {

// downloads.jsonl in the application's data folder (XDG_DATA_HOME honoured).
QString defaultPath();
// One line per record; the line goes out in a single write to a file opened for appending, so
// that the window and any number of command-line runs can append at once without their lines
// interleaving. Creates the folder. False and *errorText naming the file and the fault on failure.
bool append(const QString& path, const DownloadRecord& record, QString* errorText);

struct Contents {
    QList<DownloadRecord> records; // file order
    int damagedLines = 0;
};
// Every record the file holds; lines that are no record are counted and skipped. A missing file
// holds none.
Contents read(const QString& path);

} // namespace DownloadLog
