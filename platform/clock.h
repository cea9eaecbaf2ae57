// Time for the whole program: a clock that tests can fix, local midnights and OLE dates.
#pragma once

#include <cstdint>
#include <optional>

namespace korvalen {

// A calendar date and time of day, as the system clock gives it.
struct CalendarTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The wall clocks and the tick count, behind an interface so that tests can fix them.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual CalendarTime LocalNow() const = 0;
    virtual CalendarTime UtcNow() const = 0;
    // Milliseconds since some fixed point; wraps like the system's 32-bit tick count.
    virtual std::uint32_t TickCountMs() const = 0;
};

// The machine's clock.
Clock& SystemClock();

// Seconds since 1970-01-01 00:00 UTC of 00:00 local time on the given date, with daylight
// saving left to the C library (mktime with isdst -1). Works for dates before 1970 too,
// where the Windows C library's mktime refuses. Empty for a year before 1900, a month
// outside 1..12, a day outside 1..31, or a time the C library cannot represent. A day
// past its month's end (31.02) rolls over into the next month as mktime does.
std::optional<std::int64_t> LocalMidnight(int year, int month, int day);

// Seconds since 1970-01-01 00:00 UTC of a local date and time (milliseconds ignored), with
// daylight saving left to the C library as for LocalMidnight; a local time that occurs
// twice when the clocks go back is taken as the C library takes it. Empty where
// LocalMidnight is.
std::optional<std::int64_t> LocalTimeToUtc(const CalendarTime& local);

// The UTC calendar date and time of seconds since 1970 (proleptic Gregorian, any year).
CalendarTime UtcCalendarOf(std::int64_t seconds_since_1970);

// The local calendar date of a time from LocalMidnight, also before 1970.
std::optional<CalendarTime> LocalDateOf(std::int64_t seconds_since_1970);

// The days of a month (1..12) of the proleptic Gregorian calendar.
int DaysInMonth(int year, int month);

// Days since 1970-01-01 of a proleptic Gregorian date (negative before it).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);

// 1899-12-30, the day 0 of OLE Automation dates, counted from 1970-01-01.
inline constexpr std::int64_t kOleEpochDays = -25569;

// OLE Automation dates: days since 1899-12-30 00:00, the time of day as the fraction.
// Before that day the integer part is negative and the fraction still counts forward
// from midnight (-1.25 is 1899-12-29 06:00), as the Windows conversions do it.
double ToOleDate(const CalendarTime& time);
CalendarTime FromOleDate(double ole_date);

}  // namespace korvalen
