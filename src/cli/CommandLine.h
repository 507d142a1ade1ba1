#pragma once

#include "cli/TargetsFile.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

// What the command line says, checked before anything is opened or sent.
namespace Cli {

constexpr int kDefaultParallel = 8;
constexpr int kMaxParallel = 512;
constexpr int kMaxRetries = 100;
constexpr std::chrono::milliseconds kDefaultRetryAfter{10000};
constexpr std::chrono::seconds kMaxRetryAfter{3600};

struct Command {
    enum class Kind { Help, Version, Query, Download, Fleet, Ports };
    Kind kind = Kind::Help;
    QString helpTopic; // Help: the command whose help to show, empty for the overview

    PortAddress port;
    int baud = kDefaultBaud;
    bool baudGiven = false;
    // --ca, --cert, --key, --pin: a port inside TLS, or a fleet's defaults.
    TlsTrust tls;
    QString settingsPath; // empty: the window's own settings file

    QList<QPair<int, QString>> slotFiles; // --slot N=FILE, in the order given
    QString setPath;

    QString targetsPath;
    int parallel = kDefaultParallel;

    bool json = false;
    bool noRecord = false;
    bool verbose = false;
    // Download and fleet: more tries for an indicator that could not be reached or fell
    // silent, this long after the last.
    int retries = 0;
    std::chrono::milliseconds retryAfter = kDefaultRetryAfter;
    // Fleet: nothing written to an indicator that the record shows holding these tickets.
    bool skipStored = false;

    // ports --map COMk=DEVICE: the COM port whose device to write, 0 for none, and the device.
    int mapCom = 0;
    QString mapDevice;
};

struct ParseResult {
    std::optional<Command> command;
    QString error; // when there is no command: what was wrong
};

// The arguments after the program name.
ParseResult parseArguments(const QStringList& arguments);

} // namespace Cli
