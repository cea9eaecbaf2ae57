// The port korvalen-read is given: a port's name, or the device behind a port, which is
// followed to another number when its adapter is plugged into another socket.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serial/port_identity.h"
#include "serial/port_list.h"

namespace korvalen {

class GivenPort {
  public:
    // Whether `text` names a port itself (COM9, \\.\COM12, a path) rather than a device.
    static bool NamesAPort(const std::string& text);
    // The port of `text`: the port it names, or the one of the ports the system reports
    // whose device it is as --list shows it (its name, with or without its "(COMn)", or
    // VENDOR:PRODUCT[:SERIAL]). None, with `error` saying why, when no port or several
    // have such a device: the tool does not guess.
    static std::optional<GivenPort> Find(const std::string& text,
                                         const std::vector<SystemSerialPort>& ports,
                                         std::string& error);

    // What to open now ("COM3", "/dev/ttyUSB0").
    const std::string& device() const { return device_; }
    // Whether it was given by a device that can be followed.
    bool follows() const { return identity_.Followable(); }

    // After the link was lost: where the adapter is now among `ports`. The device changes
    // when it is on exactly one other COM port, and `moved` is then told; with several
    // such ports nothing is tried and `several` names them.
    bool Follow(const std::vector<SystemSerialPort>& ports, bool& moved, std::string& several);

  private:
    GivenPort(std::string device, PortIdentity identity)
        : device_(std::move(device)), identity_(std::move(identity)) {}

    std::string device_;
    PortIdentity identity_;
};

}  // namespace korvalen
