// The serial ports the system has, and the port list of the COM-port dialog made from them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/port_identity.h"

namespace korvalen {

// One serial port as the system reports it.
struct SystemSerialPort {
    // What OpenSerialPort takes: "COM9" on Windows, "/dev/ttyUSB0" elsewhere.
    std::string device;
    // The device behind the port as the system names it ("USB-SERIAL CH340 (COM9)"); empty
    // when the system gives no name.
    std::string name;
    // What the system tells of the device (Windows's Plug and Play); empty where it tells
    // nothing, as for a port known only by its kernel device.
    PortIdentity identity{};

    bool operator==(const SystemSerialPort&) const = default;
};

// The serial ports the system reports now, each once: on Windows its device lists (Plug
// and Play's ports class, the registry's map of serial devices), on POSIX the USB serial
// adapters (/dev/serial/by-id, ttyUSB*, ttyACM*). Windows lists them as COM names in no
// particular order; POSIX by path, in number order. Nothing when the system has none.
std::vector<SystemSerialPort> ListSerialPorts();

// Adds `port` to `ports`, or, when its device is there already, gives that entry the name
// and the identity it has none of yet: the first list that names a port names it.
void AddSerialPort(std::vector<SystemSerialPort>& ports, SystemSerialPort port);

// The number of a COM name: 9 for "COM9", "com9" or "\\.\COM9"; nothing for any other
// device (a path, "LPT1", "COM0", "COM", "COM9x").
std::optional<int> ComPortNumber(std::string_view device);

// An entry of the COM-port dialog's port list.
struct ComPortChoice {
    int number = 0;
    bool in_system = false;  // whether the system reports the port
    std::string name;        // the system's name of its device, if it gives one

    bool operator==(const ComPortChoice&) const = default;
};

// The port list of the COM-port dialog: COM1 to COM6 always, in that order, then every
// other COM port the system reports, in number order, each once. A port the system lists
// twice takes the first name given. Devices that are no COM names are left out.
std::vector<ComPortChoice> ComPortChoices(const std::vector<SystemSerialPort>& reported);

// What `korvalen-read --list` says below the ports of how a port is named so that the name
// follows its adapter to another socket.
std::string_view PortNamesThatFollowTheAdapter();

}  // namespace korvalen
