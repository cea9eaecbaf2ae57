// The calendar arithmetic, the same on both systems: local midnights also before 1970, and
// OLE Automation dates.
#include "platform/clock.h"

#include "platform/local_time.h"

#include <cmath>
#include <ctime>
#include <mutex>

namespace korvalen {

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

std::optional<std::int64_t> MidnightByMktime(int year, int month, int day) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    // mktime reads the zone's rules into the C library's shared state at every call;
    // passes on several threads take their turns (the passes ask once per date).
    static std::mutex zone_state;
    std::time_t t;
    {
        std::lock_guard lock(zone_state);
        t = std::mktime(&tm);
    }
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::optional<std::int64_t> LocalMidnight(int year, int month, int day) {
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    // Dates up to 1970-01-02 are taken from the midnight of 1970-01-03, whole days
    // earlier: the zone's offset then was the same, and mktime need not go below 0.
    constexpr std::int64_t kReferenceDay = 2;  // 1970-01-03
    const std::int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), 1) + day - 1;
    if (days >= kReferenceDay)
        return MidnightByMktime(year, month, day);
    const auto reference = MidnightByMktime(1970, 1, 3);
    if (!reference)
        return std::nullopt;
    return *reference - (kReferenceDay - days) * kSecondsPerDay;
}

std::optional<std::int64_t> LocalTimeToUtc(const CalendarTime& local) {
    const auto midnight = LocalMidnight(local.year, local.month, local.day);
    if (!midnight)
        return std::nullopt;
    const std::int64_t seconds_of_day = (local.hour * 60 + local.minute) * 60 + local.second;
    // Before 1970-01-03 the zone's offset of the whole day is that of its midnight (see
    // LocalMidnight); later days ask mktime, which knows where the clocks change.
    if (DaysFromCivil(local.year, static_cast<unsigned>(local.month),
                      static_cast<unsigned>(local.day)) < 2) {
        return *midnight + seconds_of_day;
    }
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

CalendarTime UtcCalendarOf(std::int64_t seconds_since_1970) {
    std::int64_t days = seconds_since_1970 / kSecondsPerDay;
    std::int64_t seconds = seconds_since_1970 % kSecondsPerDay;
    if (seconds < 0) {
        seconds += kSecondsPerDay;
        --days;
    }
    CalendarTime out;
    CivilFromDays(days, out.year, out.month, out.day);
    out.hour = static_cast<int>(seconds / 3600);
    out.minute = static_cast<int>(seconds / 60 % 60);
    out.second = static_cast<int>(seconds % 60);
    return out;
}

std::optional<CalendarTime> LocalDateOf(std::int64_t seconds_since_1970) {
    // Before the 3rd of January 1970 step to the same local time of that day and count
    // back whole days, for the same reason as above.
    constexpr std::int64_t kReference =
        2 * kSecondsPerDay + kSecondsPerDay / 2;  // 1970-01-03 12:00Z
    std::int64_t shift_days = 0;
    if (seconds_since_1970 < kReference) {
        shift_days = (kReference - seconds_since_1970 + kSecondsPerDay - 1) / kSecondsPerDay;
    }
    const auto t = static_cast<std::time_t>(seconds_since_1970 + shift_days * kSecondsPerDay);
    std::tm tm{};
    if (!ToLocalTm(t, tm))
        return std::nullopt;
    CalendarTime out;
    const std::int64_t days = DaysFromCivil(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1),
                                            static_cast<unsigned>(tm.tm_mday)) -
                              shift_days;
    CivilFromDays(days, out.year, out.month, out.day);
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    out.second = tm.tm_sec;
    return out;
}

double ToOleDate(const CalendarTime& time) {
    const std::int64_t days = DaysFromCivil(time.year, static_cast<unsigned>(time.month),
                                            static_cast<unsigned>(time.day)) -
                              kOleEpochDays;
    const double fraction =
        ((time.hour * 60.0 + time.minute) * 60.0 + time.second + time.millisecond / 1000.0) /
        kSecondsPerDay;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

CalendarTime FromOleDate(double ole_date) {
    const double whole = std::trunc(ole_date);
    const double fraction = std::fabs(ole_date - whole);
    auto days = static_cast<std::int64_t>(whole);
    auto ms = static_cast<std::int64_t>(std::llround(fraction * kSecondsPerDay * 1000.0));
    if (ms >= kSecondsPerDay * 1000) {
        ms -= kSecondsPerDay * 1000;
        days += ole_date >= 0 ? 1 : -1;
    }
    CalendarTime out;
    CivilFromDays(days + kOleEpochDays, out.year, out.month, out.day);
    out.hour = static_cast<int>(ms / 3600000);
    out.minute = static_cast<int>(ms / 60000 % 60);
    out.second = static_cast<int>(ms / 1000 % 60);
    out.millisecond = static_cast<int>(ms % 1000);
    return out;
}

}  // namespace korvalen
