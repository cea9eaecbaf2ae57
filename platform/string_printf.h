// printf-style formatting into strings, for the program's fixed-format texts and names.
#pragma once

#include <cstdio>
#include <string>

namespace korvalen {

// printf formatting into a string of the size the text needs.
template <typename... Args>
std::string StringPrintf(const char* format, Args... args) {
    const int size = std::snprintf(nullptr, 0, format, args...);
    if (size <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(size), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

}  // namespace korvalen
