// A serial line's settings as a mode string, parsed here for the termios side.
#pragma once

#include <optional>
#include <string_view>

namespace korvalen {

// A line setting written as a mode string, "baud=115200 parity=N data=8 stop=1": what
// the Windows API parses itself and the termios side parses here.
struct LineMode {
    int baud = 0;
    char parity = 'N';  // N(one), O(dd), E(ven), M(ark), S(pace)
    int data_bits = 8;
    int stop_half_bits = 2;  // 2 (one stop bit), 3 (one and a half), 4 (two)

    bool operator==(const LineMode&) const = default;
};

// Fields may come in any order and be left out (they keep the defaults above, but the
// speed must be given); keys and parity letters in either case. Nothing for text that
// is not such a string.
std::optional<LineMode> ParseLineMode(std::string_view text);

}  // namespace korvalen
