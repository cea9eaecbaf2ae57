// The line every tool prints for --version.
#pragma once

#include <string>
#include <string_view>

#include "build_info.h"

namespace korvalen {

// What every tool's --version prints, e.g. "korvalen-decode 1.4 (revision 3f2a9c01d7)":
// the version and the revision of the build, from the one generated header.
inline std::string VersionLine(std::string_view tool) {
    return std::string(tool) + " " KORVALEN_VERSION " (revision " KORVALEN_REVISION ")";
}

}  // namespace korvalen
