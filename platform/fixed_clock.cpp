// The frozen clock of the tools: a local time read from the environment, its UTC time from
// the machine's zone.
#include "platform/fixed_clock.h"

#include <cstdlib>

namespace korvalen {
namespace {

// The number of `width` digits at `at`, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t width) {
    int value = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool SameSecond(const CalendarTime& a, const CalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

}  // namespace

std::optional<FixedClock> FrozenClockAt(std::string_view text) {
    // "2026-12-09 17:10:52"
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const CalendarTime local{Digits(text, 0, 4),  Digits(text, 5, 2),  Digits(text, 8, 2),
                             Digits(text, 11, 2), Digits(text, 14, 2), Digits(text, 17, 2)};
    if (local.year < 1970 || local.month < 1 || local.month > 12 || local.day < 1 ||
        local.day > DaysInMonth(local.year, local.month) || local.hour < 0 || local.hour > 23 ||
        local.minute < 0 || local.minute > 59 || local.second < 0 || local.second > 59) {
        return std::nullopt;
    }
    const auto seconds = LocalTimeToUtc(local);
    if (!seconds)
        return std::nullopt;
    // A time the zone skips comes back from the C library moved by the skipped hour.
    const auto back = LocalDateOf(*seconds);
    if (!back || !SameSecond(*back, local))
        return std::nullopt;
    return FixedClock(local, UtcCalendarOf(*seconds));
}

const Clock* ToolClock(std::string& error) {
    // Read once, at the tool's start, before any other thread runs.
    const char* value = std::getenv(std::string(kFrozenTimeVariable).c_str());
    if (value == nullptr || *value == '\0')
        return &SystemClock();
    static std::optional<FixedClock> frozen;
    frozen = FrozenClockAt(value);
    if (!frozen) {
        error = std::string(kFrozenTimeVariable) +
                " must be a local time of this machine's zone as YYYY-MM-DD hh:mm:ss, not '" +
                value + "'";
        return nullptr;
    }
    return &*frozen;
}

}  // namespace korvalen
