#pragma once

#include <string>
#include <string_view>

namespace korvalen {

// UTF-8 <-> UTF-16 for the W functions of the Win32 API.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace korvalen
