// The remembered adapter's file: its lines, and its reading and writing.
#include "serial/remembered_adapter.h"

#include <algorithm>

#include "platform/file.h"
#include "platform/text_codec.h"
#include "serial/port_list.h"

namespace korvalen {
namespace {

void AddLine(std::string& text, std::string_view key, std::string value) {
    std::replace_if(
        value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    text += key;
    text += '=';
    text += value;
    text += "\r\n";
}

}  // namespace

std::string FormatRememberedAdapter(const RememberedAdapter& adapter) {
    const PortIdentity& id = adapter.identity;
    std::string text;
    AddLine(text, "Port", "COM" + std::to_string(adapter.port));
    AddLine(text, "InstanceId", id.instance_id);
    for (const std::string& hardware_id : id.hardware_ids)
        AddLine(text, "HardwareId", hardware_id);
    AddLine(text, "Vendor", id.vendor);
    AddLine(text, "Product", id.product);
    AddLine(text, "SerialNumber", id.serial_number);
    AddLine(text, "Location", id.location);
    AddLine(text, "Name", id.name);
    return Utf8ToCp1251(text);
}

std::optional<RememberedAdapter> ParseRememberedAdapter(std::string_view bytes) {
    RememberedAdapter adapter;
    const std::string text = Cp1251ToUtf8(bytes);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, equals);
        std::string value(line.substr(equals + 1));
        PortIdentity& id = adapter.identity;
        if (key == "Port")
            adapter.port = ComPortNumber(value).value_or(0);
        else if (key == "InstanceId")
            id.instance_id = std::move(value);
        else if (key == "HardwareId")
            id.hardware_ids.push_back(std::move(value));
        else if (key == "Vendor")
            id.vendor = std::move(value);
        else if (key == "Product")
            id.product = std::move(value);
        else if (key == "SerialNumber")
            id.serial_number = std::move(value);
        else if (key == "Location")
            id.location = std::move(value);
        else if (key == "Name")
            id.name = std::move(value);
    }
    if (adapter.port == 0)
        return std::nullopt;
    return adapter;
}

RememberedAdapterRead ReadRememberedAdapter(const std::string& path) {
    RememberedAdapterRead read;
    if (!FileExists(path))
        return read;
    std::string bytes;
    if (!ReadWholeFile(path, bytes, &read.error_code)) {
        read.failed = true;
        return read;
    }
    read.adapter = ParseRememberedAdapter(bytes);
    read.failed = !read.adapter;
    return read;
}

int WriteRememberedAdapter(const std::string& path, const RememberedAdapter& adapter) {
    return WriteFileAtomically(path, FormatRememberedAdapter(adapter));
}

}  // namespace korvalen
