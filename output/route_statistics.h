// The summary's line for each vehicle: its point count and date range, in Russian.
#pragma once

#include <cstdint>
#include <string>

namespace korvalen {

// The counted noun of the statistics line by the Russian plural rule, with its blanks:
// " точка на временном интервале: ", " точки …" or " точек …".
const char* PointCountPhrase(std::int32_t count);

// "%04d (%i" + phrase + first date + " - " + last date + ")", dates as "%d.%m.%Y" of
// FormatDate. Empty when `point_count` is 0: such an object gets no line.
std::string FormatRouteStatistics(std::int32_t object_id, std::int32_t point_count,
                                  std::int64_t first_date, std::int64_t last_date);

// Seconds since 1970 (also before it) as local time through strftime's `format`. Empty
// when the time has no local date or the text would exceed 127 characters.
std::string FormatDate(std::int64_t seconds_since_1970, const char* format);

}  // namespace korvalen
