// The reader's adapter as the program last found it, kept in the data folder so that the
// next start knows it again wherever it is plugged in.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "serial/port_identity.h"

namespace korvalen {

// The file's name in the data folder.
inline constexpr std::string_view kRememberedAdapterFile = "Korvalen.adapter";

// The port the reader last answered on (or the operator chose) and its device.
struct RememberedAdapter {
    int port = 0;  // the COM number
    PortIdentity identity;

    bool operator==(const RememberedAdapter&) const = default;
};

// The file's text: "Key=value" lines ended by CR LF, in Windows-1251, the port first, one
// line per hardware id. Line breaks inside a value become blanks.
std::string FormatRememberedAdapter(const RememberedAdapter& adapter);
// The record of such a text; none when the text has no valid port line. Lines it does not
// know are left out.
std::optional<RememberedAdapter> ParseRememberedAdapter(std::string_view bytes);

// What reading the file gave.
struct RememberedAdapterRead {
    std::optional<RememberedAdapter> adapter;  // none: nothing remembered
    // The file is there but could not be read (the system's code) or is no such record:
    // not the same as nothing remembered, and told to the operator.
    bool failed = false;
    int error_code = 0;
};
RememberedAdapterRead ReadRememberedAdapter(const std::string& path);
// Replaces the file whole (written beside it, on the disk, renamed over it). The system's
// code, 0 on success.
int WriteRememberedAdapter(const std::string& path, const RememberedAdapter& adapter);

}  // namespace korvalen
