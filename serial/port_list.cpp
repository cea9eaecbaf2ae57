// The port list of the COM-port dialog, made from what the system reports.
#include "serial/port_list.h"

#include <algorithm>
#include <map>

namespace korvalen {
namespace {

// The dialog's own entries, offered whether or not the system has them.
constexpr int kFixedPorts = 6;
// Windows numbers ports up to 256 in its own database; drivers may go further, but no
// port has more digits than this.
constexpr int kMostDigits = 5;

bool SamePort(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    const auto number = ComPortNumber(a);
    return number && number == ComPortNumber(b);
}

}  // namespace

void AddSerialPort(std::vector<SystemSerialPort>& ports, SystemSerialPort port) {
    const auto known = std::find_if(ports.begin(), ports.end(), [&](const SystemSerialPort& p) {
        return SamePort(p.device, port.device);
    });
    if (known == ports.end()) {
        ports.push_back(std::move(port));
    } else {
        if (known->name.empty())
            known->name = std::move(port.name);
        if (known->identity == PortIdentity())
            known->identity = std::move(port.identity);
    }
}

std::optional<int> ComPortNumber(std::string_view device) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    if (device.starts_with(kDevicePrefix))
        device.remove_prefix(kDevicePrefix.size());
    if (device.size() < 4 || device.size() > 3 + kMostDigits)
        return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i) {
        if ((device[i] | 0x20) != "com"[i])  // either case
            return std::nullopt;
    }
    int number = 0;
    for (const char c : device.substr(3)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number == 0)
        return std::nullopt;
    return number;
}

std::vector<ComPortChoice> ComPortChoices(const std::vector<SystemSerialPort>& reported) {
    std::map<int, ComPortChoice> by_number;
    for (int number = 1; number <= kFixedPorts; ++number)
        by_number[number] = {.number = number, .in_system = false, .name = {}};
    for (const SystemSerialPort& port : reported) {
        const auto number = ComPortNumber(port.device);
        if (!number)
            continue;
        ComPortChoice& choice = by_number[*number];
        choice.number = *number;
        if (choice.name.empty())
            choice.name = port.name;
        choice.in_system = true;
    }
    // The map's order is the number order, which puts COM1 to COM6 first as well.
    std::vector<ComPortChoice> choices;
    choices.reserve(by_number.size());
    for (auto& [number, choice] : by_number)
        choices.push_back(std::move(choice));
    return choices;
}

}  // namespace korvalen
