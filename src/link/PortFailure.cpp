#include "link/PortFailure.h"

#include "platform/SerialPort.h"

#include <QCoreApplication>

std::optional<PortFailure> describePortFailure(int error, const QString& device)
{
    const QString title = QCoreApplication::translate("PortFailure", "Port Error");
    switch (error) {
    case SerialPort::kNoError:
        return std::nullopt;
    case SerialPort::kErrPortInUse:
        return PortFailure{
            title, QCoreApplication::translate("PortFailure", "Port is used by other aplication")};
    case SerialPort::kErrNoSuchPort:
        return PortFailure{title, QCoreApplication::translate(
                                      "PortFailure", "The serial port %1 does not exist.\r\n\r\n"
                                                     "Plug in the adapter, or choose another port "
                                                     "under Comm > Port.")
                                      .arg(device)};
    case SerialPort::kErrPermissionDenied:
        return PortFailure{
            title, QCoreApplication::translate("PortFailure",
                                               "You may not open the serial port %1.\r\n\r\n"
                                               "Ask the administrator to add your user to the "
                                               "group \"dialout\", then log out and log in "
                                               "again.")
                       .arg(device)};
    case SerialPort::kErrNotSerial:
        return PortFailure{title, QCoreApplication::translate(
                                      "PortFailure", "%1 is not a serial device, so it cannot be "
                                                     "opened as a serial port.")
                                      .arg(device)};
    default:
        return PortFailure{title, QCoreApplication::translate(
                                      "PortFailure", "The serial port %1 could not be opened.")
                                      .arg(device)};
    }
}
