// The settings file line by line: keys matched by prefix, numbers read as atoi reads them.
#include "settings/settings_file.h"

#include <cstdint>
#include <limits>

#include "platform/text_codec.h"

namespace korvalen {
namespace {

void ApplyLine(std::string_view line, Settings& s) {
    // Tested in this order and by prefix, so "UseGlobalID1" never reaches "GlobalID".
    const auto value_of = [&](std::string_view key, std::string_view& value) {
        if (!line.starts_with(key))
            return false;
        value = line.substr(key.size());
        return true;
    };
    std::string_view v;
    if (value_of("GlobalID", v)) {
        s.GlobalID = ParseAtoi(v);
    } else if (value_of("UseGlobalID", v)) {
        s.UseGlobalID = ParseAtoi(v) != 0;
    } else if (value_of("InboxDir", v)) {
        s.InboxDir = Cp1251ToUtf8(v);
    } else if (value_of("InFile", v)) {
        s.InFile = Cp1251ToUtf8(v);
    } else if (value_of("COM", v)) {
        s.COM = ParseAtoi(v);
    } else if (value_of("Use2D", v)) {
        s.Use2D = ParseAtoi(v) != 0;
    } else if (value_of("MultiStart", v)) {
        s.MultiStart = ParseAtoi(v) != 0;
    } else if (value_of("MinTray", v)) {
        s.MinTray = ParseAtoi(v) != 0;
    } else if (value_of("IndInNum", v)) {
        s.IndInNum = ParseAtoi(v);
    } else if (value_of("IndInStatus", v)) {
        s.IndInStatus = ParseAtoi(v);
    } else if (value_of("IndInChk", v)) {
        s.IndInChk = ParseAtoi(v) != 0;
    }
}

std::string Line(std::string_view key, std::int32_t value) {
    return std::string(key) + std::to_string(value) + "\r\n";
}

std::string Line(std::string_view key, std::string_view utf8_text) {
    return std::string(key) + Utf8ToCp1251(utf8_text) + "\r\n";
}

}  // namespace

std::int32_t ParseAtoi(std::string_view text) {
    std::size_t i = 0;
    const auto is_blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && is_blank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit)
            value = kLimit;
    }
    if (negative)
        return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(value == kLimit ? kLimit - 1 : value);
}

void ParseSettingsFile(std::string_view bytes, Settings& settings) {
    std::string line;
    for (const char c : bytes) {
        if (c == '\r') {
            ApplyLine(line, settings);
            line.clear();
        } else if (c != '\n') {
            line.push_back(c);
        }
    }
}

std::string FormatSettingsFile(const Settings& s) {
    return Line("UseGlobalID", s.UseGlobalID) + Line("GlobalID", s.GlobalID) + Line("COM", s.COM) +
           Line("InFile", s.InFile) + Line("InboxDir", s.InboxDir) + Line("Use2D", s.Use2D) +
           Line("MultiStart", s.MultiStart) + Line("MinTray", s.MinTray) +
           Line("IndInNum", s.IndInNum) + Line("IndInStatus", s.IndInStatus) +
           Line("IndInChk", s.IndInChk);
}

}  // namespace korvalen
