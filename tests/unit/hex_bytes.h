// Expected bytes written in hexadecimal, field by field.
#pragma once

#include <cctype>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvalen::testing {

// Bytes from hexadecimal pairs; blanks, line breaks and "|" between pairs are ignored, so
// expected file contents can be written field by field.
inline std::string FromHex(std::string_view hex) {
    std::string bytes;
    int high = -1;
    for (char c : hex) {
        if (c == ' ' || c == '\n' || c == '|')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            throw std::invalid_argument("not a hex digit");
        const int nibble = std::isdigit(static_cast<unsigned char>(c))
                               ? c - '0'
                               : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (high < 0) {
            high = nibble;
        } else {
            bytes += static_cast<char>(high * 16 + nibble);
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd number of hex digits");
    return bytes;
}

}  // namespace korvalen::testing
