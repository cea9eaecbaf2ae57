// The summary of a pass, written as the program's Russian users read it.
#include "decode/pass_outcome.h"

#include "platform/string_printf.h"

namespace korvalen {

std::vector<std::string> FormatPassSummary(const PassOutcome& outcome) {
    std::vector<std::string> lines;
    lines.push_back(FormatLocalDateTime(outcome.finished_at));
    lines.push_back("В файле '" + outcome.dump + (outcome.completed ? "'" : "' (прервано)"));
    lines.push_back(outcome.route_lines.empty() ? "маршруты не найдены!"
                                                : "найдены маршруты объектов:");
    // The newest line is on top: the route found last heads the list.
    lines.insert(lines.end(), outcome.route_lines.rbegin(), outcome.route_lines.rend());
    lines.push_back(StringPrintf("Количество включений регистратора: %02i", outcome.power_ons));
    if (outcome.errors != 0)
        lines.push_back(StringPrintf("В файле обнаружены ошибки (%i)", outcome.errors));
    return lines;
}

std::string FormatLocalDateTime(const CalendarTime& t) {
    if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
        t.second > 59) {
        return "Invalid DateTime";
    }
    return StringPrintf("%02d.%02d.%04d %d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute,
                        t.second);
}

}  // namespace korvalen
