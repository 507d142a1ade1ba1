#pragma once

#include <functional>

class SerialPort;
class UiServices;

// A setting of the serial port that the driver takes only while the port is closed: an open
// port is closed, changed and opened again.
namespace PortReopen {

// Applies the change; returns false when the port was open and did not open again. The
// operator is then shown why, as an Open from the menu would show it, and the port stays
// closed.
bool apply(SerialPort& port, UiServices& ui, const std::function<void(SerialPort&)>& change);

} // namespace PortReopen
