// The settings file's text: read as leniently as atoi reads numbers, written in Windows-1251.
#pragma once

#include <string>
#include <string_view>

#include "settings/settings.h"

namespace korvalen {

// Reads the bytes of a settings file over `settings`, which holds the defaults: a CR
// completes a line, an LF is skipped, text after the last CR is dropped. A line sets the
// field whose key it begins with (case-sensitive); numbers are read as atoi reads them;
// the last line for a key wins; anything else is ignored.
void ParseSettingsFile(std::string_view bytes, Settings& settings);

// The eleven lines of the settings file, CR LF, texts in Windows-1251.
std::string FormatSettingsFile(const Settings& settings);

// atoi of the C library: blanks, an optional sign, digits up to the first other
// character; no digits give 0. Out-of-range values saturate.
std::int32_t ParseAtoi(std::string_view text);

}  // namespace korvalen
