#pragma once

#include <QString>
#include <optional>

// What the operator is told when a serial port does not open. Used by the Open command and by
// the dialogs that reopen the port after a change.
struct PortFailure {
    QString title;
    QString text;
};

// The message for an error number of SerialPort::setPortOpen, or nothing when the failure has
// no message of its own.
std::optional<PortFailure> describePortFailure(int error, const QString& device);
