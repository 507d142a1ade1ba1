#pragma once

#include "cli/TargetsFile.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

// What the command line says, checked before anything is opened or sent.
namespace Cli {

constexpr int kDefaultParallel = 8;
constexpr int kMaxParallel = 512;

struct Command {
    enum class Kind { Help, Version, Query, Download, Fleet, Ports };
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
