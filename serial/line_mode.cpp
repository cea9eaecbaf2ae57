// The parsing of a line's mode string, as lenient about order and case as the Windows API.
#include "serial/line_mode.h"

#include <charconv>
#include <string>

namespace korvalen {
namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = Lower(c);
    return out;
}

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<LineMode> ParseLineMode(std::string_view text) {
    LineMode mode;
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == ' ') {
            ++at;
            continue;
        }
        std::size_t end = text.find(' ', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view field = text.substr(at, end - at);
        at = end;
        const std::size_t equals = field.find('=');
        if (equals == std::string_view::npos)
            return std::nullopt;
        const std::string key = Lowered(field.substr(0, equals));
        const std::string_view value = field.substr(equals + 1);
        if (key == "baud") {
            const auto baud = Number(value);
            if (!baud)
                return std::nullopt;
            mode.baud = *baud;
        } else if (key == "parity") {
            const std::string letter = Lowered(value);
            if (letter.size() != 1 ||
                std::string_view("noems").find(letter[0]) == std::string::npos)
                return std::nullopt;
            mode.parity = static_cast<char>(letter[0] - 'a' + 'A');
        } else if (key == "data") {
            const auto bits = Number(value);
            if (!bits || *bits < 5 || *bits > 8)
                return std::nullopt;
            mode.data_bits = *bits;
        } else if (key == "stop") {
            if (value == "1")
                mode.stop_half_bits = 2;
            else if (value == "1.5")
                mode.stop_half_bits = 3;
            else if (value == "2")
                mode.stop_half_bits = 4;
            else
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (mode.baud == 0)
        return std::nullopt;
    return mode;
}

}  // namespace korvalen
