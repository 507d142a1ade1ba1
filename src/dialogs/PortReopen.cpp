#include "dialogs/PortReopen.h"

#include "link/PortFailure.h"
#include "platform/SerialPort.h"
#include "platform/UiServices.h"

namespace PortReopen {

bool apply(SerialPort& port, UiServices& ui, const std::function<void(SerialPort&)>& change)
{
    if (!port.PortOpen()) {
        change(port);
        return true;
    }
    port.setPortOpen(false);
    change(port);
    const int error = port.setPortOpen(true);
    if (error == SerialPort::kNoError)
        return true;
    if (port.PortOpen())
        port.setPortOpen(false);
    if (const auto failure = describePortFailure(error, port.devicePath()))
        ui.critical(failure->title, failure->text);
    return false;
}

} // namespace PortReopen
