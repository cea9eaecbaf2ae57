// A route's summary line: the Russian plural of its points, its dates in local time.
#include "output/route_statistics.h"

#include <ctime>

#include "platform/clock.h"
#include "platform/string_printf.h"

namespace korvalen {
namespace {

constexpr std::size_t kDateBufferSize = 128;

}  // namespace

const char* PointCountPhrase(std::int32_t count) {
    std::int32_t r = count % 100;
    if (r > 20)
        r = count % 10;
    if (r == 1)
        return " точка на временном интервале: ";
    if (r >= 2 && r <= 4)
        return " точки на временном интервале: ";
    return " точек на временном интервале: ";
}

std::string FormatRouteStatistics(std::int32_t object_id, std::int32_t point_count,
                                  std::int64_t first_date, std::int64_t last_date) {
    if (point_count == 0)
        return std::string();
    return StringPrintf("%04d (%i", object_id, point_count) + PointCountPhrase(point_count) +
           FormatDate(first_date, "%d.%m.%Y") + " - " + FormatDate(last_date, "%d.%m.%Y") + ")";
}

std::string FormatDate(std::int64_t seconds_since_1970, const char* format) {
    // The local date comes from the platform's own calendar arithmetic, which also
    // covers times before 1970 (local midnight of 01.01.1970 east of Greenwich).
    const auto local = LocalDateOf(seconds_since_1970);
    if (!local)
        return std::string();
    const std::int64_t days = DaysFromCivil(local->year, static_cast<unsigned>(local->month),
                                            static_cast<unsigned>(local->day));
    std::tm tm{};
    tm.tm_year = local->year - 1900;
    tm.tm_mon = local->month - 1;
    tm.tm_mday = local->day;
    tm.tm_hour = local->hour;
    tm.tm_min = local->minute;
    tm.tm_sec = local->second;
    tm.tm_wday = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 01.01.1970 was a Thursday
    tm.tm_yday = static_cast<int>(days - DaysFromCivil(local->year, 1, 1));
    tm.tm_isdst = -1;
    std::string text(kDateBufferSize, '\0');
    const std::size_t length = std::strftime(text.data(), text.size(), format, &tm);
    text.resize(length);
    return text;
}

}  // namespace korvalen
