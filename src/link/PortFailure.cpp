#include "link/PortFailure.h"

#include "platform/SerialPort.h"

#include <QCoreApplication>

std::optional<PortFailure> describePortFailure(int error, const QString& device)
{
    const QString title = QStringLiteral("Port Error");
    switch (error) {
    case SerialPort::kNoError:
        return std::nullopt;
    case SerialPort::kErrPortInUse:
        return PortFailure{title, QStringLiteral("Port is used by other aplication")};
    case SerialPort::kErrNoSuchPort:
        return PortFailure{title, QStringLiteral("The serial port %1 does not exist.\r\n\r\n"
                                                 "Plug in the adapter, or choose another port "
                                                 "under Comm > Port.")
                                      .arg(device)};
    case SerialPort::kErrPermissionDenied:
        return PortFailure{title, QStringLiteral("You may not open the serial port %1.\r\n\r\n"
                                                 "Ask the administrator to add your user to the "
                                                 "group \"dialout\", then log out and log in "
                                                 "again.")
                                      .arg(device)};
    default:
        return PortFailure{title,
                           QStringLiteral("The serial port %1 could not be opened.").arg(device)};
    }
}
