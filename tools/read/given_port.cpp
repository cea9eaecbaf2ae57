// A port given by its device: found among the system's ports, and followed.
#include "tools/read/given_port.h"

#include <algorithm>
#include <cctype>

#include "serial/adapter_search.h"
#include "serial/serial_port.h"

namespace korvalen {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return lower;
}

// A device's name without the " (COM3)" that Windows puts at its end, which changes with
// the number.
std::string WithoutPortNumber(std::string_view name) {
    const std::size_t open = name.rfind(" (");
    if (open != std::string_view::npos && name.ends_with(')') &&
        ComPortNumber(name.substr(open + 2, name.size() - open - 3))) {
        name = name.substr(0, open);
    }
    return Lower(name);
}

std::string Names(const std::vector<const SystemSerialPort*>& ports) {
    std::string names;
    for (const SystemSerialPort* port : ports)
        names += (names.empty() ? "" : ", ") + port->device;
    return names;
}

std::vector<const SystemSerialPort*> ByDevice(const std::string& text,
                                              const std::vector<SystemSerialPort>& ports) {
    std::vector<const SystemSerialPort*> found;
    if (const std::optional<PortIdentity> ids = ParseUsbIds(text)) {
        for (const SystemSerialPort& port : ports) {
            if (SameAdapter(*ids, port.identity))
                found.push_back(&port);
        }
        return found;
    }
    for (const bool whole : {true, false}) {
        for (const SystemSerialPort& port : ports) {
            const bool same = whole ? Lower(port.name) == Lower(text)
                                    : WithoutPortNumber(port.name) == WithoutPortNumber(text);
            if (same && !port.name.empty())
                found.push_back(&port);
        }
        if (!found.empty())
            return found;
    }
    return found;
}

}  // namespace

bool GivenPort::NamesAPort(const std::string& text) {
    return ComPortNumber(text) || text.find_first_of("/\\") != std::string::npos;
}

std::optional<GivenPort> GivenPort::Find(const std::string& text,
                                         const std::vector<SystemSerialPort>& ports,
                                         std::string& error) {
    if (NamesAPort(text))
        return GivenPort(text, {});
    std::vector<const SystemSerialPort*> found = ByDevice(text, ports);
    std::sort(found.begin(), found.end(), [](const SystemSerialPort* a, const SystemSerialPort* b) {
        return ComPortNumber(a->device).value_or(0) < ComPortNumber(b->device).value_or(0);
    });
    if (found.size() == 1)
        return GivenPort(found.front()->device, found.front()->identity);
    error = found.empty()
                ? "no port has the device '" + text + "' (korvalen-read --list shows them)"
                : "several ports have the device '" + text + "': " + Names(found) +
                      "; give one of them";
    return std::nullopt;
}

bool GivenPort::Follow(const std::vector<SystemSerialPort>& ports, bool& moved,
                       std::string& several) {
    moved = false;
    several.clear();
    const std::optional<int> number = ComPortNumber(device_);
    if (!follows() || !number)
        return true;
    const AdapterSearch search = SearchReaderAdapter(&identity_, *number, ports);
    if (!search.port) {
        for (const int match : search.matches)
            several += (several.empty() ? "COM" : ", COM") + std::to_string(match);
        return false;
    }
    if (*search.port != *number) {
        device_ = ComPortName(*search.port);
        moved = true;
    }
    return true;
}

}  // namespace korvalen
