// The USB ids of a port's device read from the system's ids, and the adapter known again.
#include "serial/port_identity.h"

#include <algorithm>
#include <cctype>

namespace korvalen {
namespace {

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return Upper(c); });
    return upper;
}

bool IsHex(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// The four hex digits after `key` ("VID_") in an id, in capitals; empty when there are none.
std::string IdAfter(std::string_view id, std::string_view key) {
    const std::string upper = Upper(id);
    for (std::size_t at = upper.find(key); at != std::string::npos; at = upper.find(key, at + 1)) {
        const std::string_view digits = std::string_view(upper).substr(at + key.size(), 4);
        const bool ends = at + key.size() + 4 == upper.size() ||
                          !std::isxdigit(static_cast<unsigned char>(upper[at + key.size() + 4]));
        if (digits.size() == 4 && IsHex(digits) && ends)
            return std::string(digits);
    }
    return {};
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

// The serial number an instance id carries, if it carries one: "USB\VID_x&PID_y\SERIAL"
// (not an interface of a composite device, "&MI_"), or FTDI's "FTDIBUS\VID_x+PID_y+SERIAL\n".
std::string SerialOf(std::string_view instance_id) {
    const std::vector<std::string_view> parts = Split(instance_id, '\\');
    if (parts.size() != 3)
        return {};
    const std::string bus = Upper(parts[0]);
    if (bus == "USB" && Upper(parts[1]).find("&MI_") == std::string::npos &&
        parts[2].find('&') == std::string_view::npos) {
        return std::string(parts[2]);
    }
    if (bus == "FTDIBUS") {
        const std::vector<std::string_view> ids = Split(parts[1], '+');
        if (ids.size() == 3 && !ids[2].empty())
            return std::string(ids[2]);
    }
    return {};
}

}  // namespace

void ReadUsbIds(PortIdentity& identity, std::string_view parent_instance_id) {
    std::vector<std::string_view> ids = {identity.instance_id};
    ids.insert(ids.end(), identity.hardware_ids.begin(), identity.hardware_ids.end());
    ids.push_back(parent_instance_id);
    for (const std::string_view id : ids) {
        const std::string vendor = IdAfter(id, "VID_");
        const std::string product = IdAfter(id, "PID_");
        if (!vendor.empty() && !product.empty()) {
            identity.vendor = vendor;
            identity.product = product;
            break;
        }
    }
    identity.serial_number = SerialOf(identity.instance_id);
    if (identity.serial_number.empty())
        identity.serial_number = SerialOf(parent_instance_id);
}

bool SameAdapter(const PortIdentity& remembered, const PortIdentity& present) {
    if (!remembered.Followable() || !present.Followable())
        return false;
    if (Upper(remembered.vendor) != Upper(present.vendor) ||
        Upper(remembered.product) != Upper(present.product)) {
        return false;
    }
    return remembered.serial_number.empty() ||
           Upper(remembered.serial_number) == Upper(present.serial_number);
}

std::string UsbIds(const PortIdentity& identity) {
    if (!identity.Followable())
        return {};
    std::string ids = identity.vendor + ":" + identity.product;
    if (!identity.serial_number.empty())
        ids += ":" + identity.serial_number;
    return ids;
}

std::optional<PortIdentity> ParseUsbIds(std::string_view text) {
    const std::vector<std::string_view> parts = Split(text, ':');
    if (parts.size() < 2 || parts.size() > 3 || parts[0].size() != 4 || parts[1].size() != 4 ||
        !IsHex(parts[0]) || !IsHex(parts[1])) {
        return std::nullopt;
    }
    PortIdentity identity;
    identity.vendor = Upper(parts[0]);
    identity.product = Upper(parts[1]);
    if (parts.size() == 3) {
        if (parts[2].empty())
            return std::nullopt;
        identity.serial_number = std::string(parts[2]);
    }
    return identity;
}

}  // namespace korvalen
