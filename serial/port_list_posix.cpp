// POSIX side of the port list: the USB serial adapters under /dev, named from sysfs.
#include "serial/port_list_posix.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

namespace korvalen {
namespace {

namespace fs = std::filesystem;

// The first line of a small text file; empty when it cannot be read.
std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The product text of the USB device behind a tty. The tty's "device" is the USB
// interface (ttyACM) or a port below it (ttyUSB); the product is the USB device's.
std::string ProductName(const fs::path& root, const std::string& tty) {
    std::error_code error;
    const fs::path device = fs::canonical(root / "sys/class/tty" / tty / "device", error);
    if (error)
        return {};
    std::string product = FirstLine(device.parent_path() / "product");
    return product.empty() ? FirstLine(device.parent_path().parent_path() / "product") : product;
}

// The entries of a folder; none when it is not there. Devices come and go while it is
// read, so no error ends the program.
std::vector<fs::path> Entries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    return entries;
}

// "/dev/ttyUSB10" after "/dev/ttyUSB9": the text before the trailing number, then the number.
std::tuple<std::string, unsigned long, std::string> NumberOrder(const std::string& path) {
    std::size_t digits = path.size();
    while (digits > 0 && path[digits - 1] >= '0' && path[digits - 1] <= '9')
        --digits;
    const unsigned long number =
        digits < path.size() && path.size() - digits < 10 ? std::stoul(path.substr(digits)) : 0;
    return {path.substr(0, digits), number, path};
}

}  // namespace

std::vector<SystemSerialPort> ListSerialPortsUnder(const std::string& root_text) {
    std::error_code error;
    // Canonical, so that the by-id links' targets and the entries of /dev compare.
    const fs::path root = fs::weakly_canonical(root_text, error);
    std::map<std::string, std::string> by_device;  // device path -> by-id name
    for (const fs::path& link : Entries(root / "dev/serial/by-id")) {
        const fs::path target = fs::canonical(link, error);
        if (!error)
            by_device.emplace(target.string(), link.filename().string());
    }
    for (const fs::path& entry : Entries(root / "dev")) {
        const std::string name = entry.filename().string();
        if (name.starts_with("ttyUSB") || name.starts_with("ttyACM"))
            by_device.emplace(entry.string(), "");
    }
    std::vector<SystemSerialPort> ports;
    for (const auto& [device, link_name] : by_device) {
        std::string name = ProductName(root, fs::path(device).filename().string());
        ports.push_back({.device = device, .name = name.empty() ? link_name : name});
    }
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) {
        return NumberOrder(a.device) < NumberOrder(b.device);
    });
    return ports;
}

std::vector<SystemSerialPort> ListSerialPorts() {
    return ListSerialPortsUnder("/");
}

std::string_view PortNamesThatFollowTheAdapter() {
    return "The names in /dev/serial/by-id/ (maker, model, serial number) follow an adapter\n"
           "to any socket: given as PORT, --wait finds it again when it is plugged back\n"
           "(ls -l /dev/serial/by-id/ shows which ttyUSB each one is).";
}

}  // namespace korvalen
