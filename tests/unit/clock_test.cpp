// OLE dates both ways, and local midnights in several zones, before 1970 too.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include "platform/fixed_clock.h"

#include "scoped_time_zone.h"

namespace korvalen {
namespace {

using testing::ScopedTimeZone;

TEST(OleDate, KnownValues) {
    EXPECT_DOUBLE_EQ(ToOleDate({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_NEAR(ToOleDate({2007, 11, 7, 12, 34, 56, 0}), 39393.52425925926, 1e-9);
    EXPECT_DOUBLE_EQ(ToOleDate({1900, 1, 1, 0, 0, 0, 0}), 2.0);
    // Before the epoch the fraction still counts forward from midnight.
    EXPECT_DOUBLE_EQ(ToOleDate({1899, 12, 29, 6, 0, 0, 0}), -1.25);
    EXPECT_DOUBLE_EQ(ToOleDate({1899, 12, 29, 0, 0, 0, 0}), -1.0);
}

TEST(OleDate, RoundTripsThroughCalendarParts) {
    const CalendarTime times[] = {
        {2007, 11, 7, 12, 34, 56, 0}, {1899, 12, 29, 6, 0, 0, 0}, {2024, 2, 29, 23, 59, 59, 0},
        {1970, 1, 1, 0, 0, 0, 0},     {2099, 12, 31, 0, 0, 1, 0},
    };
    for (const auto& t : times) {
        const CalendarTime back = FromOleDate(ToOleDate(t));
        EXPECT_EQ(back.year, t.year);
        EXPECT_EQ(back.month, t.month);
        EXPECT_EQ(back.day, t.day);
        EXPECT_EQ(back.hour, t.hour);
        EXPECT_EQ(back.minute, t.minute);
        EXPECT_EQ(back.second, t.second);
    }
}

TEST(LocalMidnight, FollowsTheZone) {
    ScopedTimeZone zone("MSK-3");
    EXPECT_EQ(LocalMidnight(2007, 11, 7), 1194393600 - 3 * 3600);
    EXPECT_EQ(LocalMidnight(1970, 1, 3), 2 * 86400 - 3 * 3600);
}

TEST(LocalMidnight, BeforeTheEpochEastOfGreenwich) {
    ScopedTimeZone zone("MSK-3");
    const auto t = LocalMidnight(1970, 1, 1);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(*t, -3 * 3600);
    const auto date = LocalDateOf(*t);
    ASSERT_TRUE(date.has_value());
    EXPECT_EQ(date->year, 1970);
    EXPECT_EQ(date->month, 1);
    EXPECT_EQ(date->day, 1);
    EXPECT_EQ(date->hour, 0);
}

TEST(LocalMidnight, RefusesWhatCannotBeADate) {
    ScopedTimeZone zone("UTC0");
    EXPECT_FALSE(LocalMidnight(1899, 12, 31));
    EXPECT_FALSE(LocalMidnight(2007, 0, 1));
    EXPECT_FALSE(LocalMidnight(2007, 13, 1));
    EXPECT_FALSE(LocalMidnight(2007, 1, 0));
    EXPECT_FALSE(LocalMidnight(2007, 1, 32));
    // A day past the month's end rolls over, as mktime does.
    EXPECT_EQ(LocalMidnight(2007, 2, 31), LocalMidnight(2007, 3, 3));
}

#ifndef _WIN32  // the Windows C library knows no POSIX rules for the change of time
TEST(LocalMidnight, DaylightSavingLeftToTheLibrary) {
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    // 2007-07-01 00:00 CEST is 2007-06-30 22:00 UTC.
    EXPECT_EQ(LocalMidnight(2007, 7, 1), 1183248000 - 2 * 3600);
}
#endif

TEST(LocalTimeToUtc, FollowsTheZoneAndItsDaylightSaving) {
    struct Case {
        const char* zone;
        CalendarTime local;
        std::int64_t utc;
    };
    const Case cases[] = {
        {"UTC0", {2007, 11, 7, 12, 34, 56, 0}, 1194438896},
        {"MSK-3", {2007, 11, 7, 12, 34, 56, 0}, 1194438896 - 3 * 3600},
        {"MSK-3", {1970, 1, 1, 1, 0, 0, 0}, -2 * 3600},  // before the epoch
#ifndef _WIN32
        {"CET-1CEST,M3.5.0,M10.5.0/3", {2007, 7, 1, 12, 0, 0, 0}, 1183291200 - 2 * 3600},
        {"CET-1CEST,M3.5.0,M10.5.0/3", {2007, 1, 1, 12, 0, 0, 0}, 1167652800 - 3600},
#endif
    };
    for (const Case& c : cases) {
        ScopedTimeZone zone(c.zone);
        EXPECT_EQ(LocalTimeToUtc(c.local), c.utc) << c.zone << " " << c.local.year;
    }
}

TEST(UtcCalendarOf, CountsFromTheEpochBothWays) {
    const CalendarTime later = UtcCalendarOf(1194438896);
    EXPECT_EQ(ToOleDate(later), ToOleDate({2007, 11, 7, 12, 34, 56, 0}));
    const CalendarTime earlier = UtcCalendarOf(-1);
    EXPECT_EQ(ToOleDate(earlier), ToOleDate({1969, 12, 31, 23, 59, 59, 0}));
}

// The tools' frozen clock: the local time as given, the UTC time from the zone (a day
// earlier here), and a refusal of anything that is no local time of the zone.
TEST(FrozenClockAt, ReadsALocalTimeOfTheZone) {
    ScopedTimeZone zone("MSK-3");
    const auto clock = FrozenClockAt("2026-12-09 01:10:52");
    ASSERT_TRUE(clock.has_value());
    EXPECT_EQ(ToOleDate(clock->LocalNow()), ToOleDate({2026, 12, 9, 1, 10, 52, 0}));
    EXPECT_EQ(ToOleDate(clock->UtcNow()), ToOleDate({2026, 12, 8, 22, 10, 52, 0}));

    const char* refused[] = {
        "",
        "2026-12-09",
        "2026-12-09T01:10:52",
        "2026-12-09 1:10:52",
        "2026-12-09 01:10:52 ",
        "2026-12-+9 01:10:52",
        "2026-13-09 01:10:52",
        "2026-02-29 01:10:52",  // no leap year
        "2026-12-09 24:00:00",
        "2026-12-09 01:60:00",
        "2026-12-09 01:10:60",
        "1969-12-31 23:59:59",
    };
    for (const char* text : refused)
        EXPECT_FALSE(FrozenClockAt(text).has_value()) << text;
#ifndef _WIN32
    ScopedTimeZone central_europe("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_FALSE(FrozenClockAt("2026-03-29 02:30:00").has_value()) << "skipped hour";
#endif
}

}  // namespace
}  // namespace korvalen
