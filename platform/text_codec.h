// The conversion between the program's UTF-8 and the Windows-1251 of the files it writes.
#pragma once

#include <string>
#include <string_view>

namespace korvalen {

// Inside the program every text is UTF-8. Everything written for the operator's
// Windows tools (settings file, message-file texts, CSV files) is Windows-1251.

// Converts UTF-8 to Windows-1251. A character that code page 1251 lacks, and every byte
// of a malformed UTF-8 sequence, becomes '?'.
std::string Utf8ToCp1251(std::string_view utf8);

// Converts Windows-1251 to UTF-8. All 256 byte values map to a character (0x98, which the
// code page leaves undefined, maps to U+0098), so the conversion is lossless both ways.
std::string Cp1251ToUtf8(std::string_view cp1251);

}  // namespace korvalen
