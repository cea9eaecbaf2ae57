// POSIX side of the port list, open to a tree other than the system's own for tests.
#pragma once

#include <string>
#include <vector>

#include "serial/port_list.h"

namespace korvalen {

// The USB serial adapters of the system whose root is `root` ("/" for this one): the
// targets of /dev/serial/by-id and every /dev/ttyUSB* and /dev/ttyACM*, by path in number
// order. Each is named by its USB device's product text from /sys/class/tty, or else by
// its by-id link.
std::vector<SystemSerialPort> ListSerialPortsUnder(const std::string& root);

}  // namespace korvalen
