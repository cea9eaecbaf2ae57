// Conversions between the program's UTF-8 and the UTF-16 of the Win32 API.
#pragma once

#include <string>
#include <string_view>

namespace korvalen {

// UTF-8 <-> UTF-16 for the W functions of the Win32 API.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace korvalen
