#pragma once

#include "ticket/SlotTable.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// What the command line and the fleet file say, checked before anything is opened or sent.
namespace Cli {

enum ExitCode {
    ExitStored = 0,    // every target stored every slot (or the query answered)
    ExitNotStored = 1, // an indicator refused or stopped answering: some slot not stored
    ExitUsage = 2,     // usage, file or set error: nothing sent
    ExitChannel = 3,   // a channel could not be opened or was lost
};

constexpr int kDefaultBaud = 19200;
constexpr int kDefaultParallel = 8;
constexpr int kMaxParallel = 512;

// Where an indicator is: COM 1 to COM 8 (a device through the settings' [PortNames]), a device
// path, or a TCP/IP endpoint.
struct PortAddress {
    enum class Kind { Com, Device, Tcp };
    Kind kind = Kind::Com;
    int comNumber = 0; // Com: 1 to 8
    QString device;    // Device; for Com the device it maps to, once mapped
    QString host;      // Tcp
    quint16 tcpPort = 0;
    QString text; // as given

    bool isSerial() const { return kind != Kind::Tcp; }
    // The same for two specs that name the same port, however spelled.
    QString identity() const;
};

// "COM3", "/dev/ttyUSB0", "tcp:192.168.1.50:4001" or "tcp:[fe80::1]:4001". On failure nothing,
// and *error says what was wrong.
std::optional<PortAddress> parsePort(const QString& text, QString* error);
// One of the six rates the indicator takes.
std::optional<int> parseBaud(const QString& text, QString* error);

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
    };
    QList<BadRow> badRows;
    // A fault of the whole file (no header, nothing to do); empty when it can be used.
    QString fault;
};

// A CSV file with the header "name,port" or "name,port,baud" and a row per indicator. Blank
// lines and lines starting with '#' are skipped; fields may be quoted ("...", "" for a quote).
// A row that names no usable target is listed with its line number; the others are kept.
FleetFile parseFleet(const QByteArray& content);

struct Command {
    enum class Kind { Help, Version, Query, Download, Fleet };
    Kind kind = Kind::Help;
    QString helpTopic; // Help: the command whose help to show, empty for the overview

    PortAddress port;
    int baud = kDefaultBaud;
    bool baudGiven = false;
    QString settingsPath; // empty: the window's own settings file

    QList<QPair<int, QString>> slotFiles; // --slot N=FILE, in the order given
    QString setPath;

    QString targetsPath;
    int parallel = kDefaultParallel;

    bool json = false;
    bool noRecord = false;
};

struct ParseResult {
    std::optional<Command> command;
    QString error; // when there is no command: what was wrong
};

// The arguments after the program name.
ParseResult parseArguments(const QStringList& arguments);

QString helpText(const QString& topic);

// The seven slots' contents and files, loaded and checked as the window checks them.
struct Tickets {
    std::array<QByteArray, SlotTable::kSlotCount> contents;
    std::array<QString, SlotTable::kSlotCount> paths; // absolute; empty for no file
};

// Reads the files of --slot or of the set. False and *error when a file cannot be read, the set
// is damaged, nothing holds data, or the tickets do not fit into the indicator's memory.
bool loadTickets(const Command& command, Tickets* tickets, QString* error);

} // namespace Cli
