// The summary's line per route: the Russian plural, and the dates in local time.
#include "output/route_statistics.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "scoped_time_zone.h"

namespace korvalen {
namespace {

using testing::ScopedTimeZone;

constexpr const char* kPoint = " точка на временном интервале: ";
constexpr const char* kPoints2to4 = " точки на временном интервале: ";
constexpr const char* kPointsMany = " точек на временном интервале: ";

TEST(RouteStatistics, RussianPluralOfTheCount) {
    struct Row {
        std::int32_t count;
        const char* phrase;
    };
    const Row rows[] = {
        {1, kPoint},        {21, kPoint},       {101, kPoint},       {121, kPoint},
        {2, kPoints2to4},   {3, kPoints2to4},   {4, kPoints2to4},    {22, kPoints2to4},
        {104, kPoints2to4}, {5, kPointsMany},   {11, kPointsMany},   {12, kPointsMany},
        {14, kPointsMany},  {20, kPointsMany},  {25, kPointsMany},   {100, kPointsMany},
        {111, kPointsMany}, {112, kPointsMany}, {1000, kPointsMany}, {1001, kPoint},
    };
    for (const Row& row : rows)
        EXPECT_STREQ(PointCountPhrase(row.count), row.phrase) << row.count;
}

TEST(RouteStatistics, Lines) {
    ScopedTimeZone zone("MSK-3");
    const std::int64_t first = *LocalMidnight(2007, 11, 1);
    const std::int64_t last = *LocalMidnight(2007, 11, 5);
    struct Row {
        const char* name;
        std::int32_t object_id;
        std::int32_t points;
        std::int64_t first;
        std::int64_t last;
        const char* expected;
    };
    const Row rows[] = {
        {"five points over five days", 12, 5, first, last,
         "0012 (5 точек на временном интервале: 01.11.2007 - 05.11.2007)"},
        {"one point, equal dates", 12, 1, first, first,
         "0012 (1 точка на временном интервале: 01.11.2007 - 01.11.2007)"},
        {"wide object number", 12345, 22, first, last,
         "12345 (22 точки на временном интервале: 01.11.2007 - 05.11.2007)"},
        {"no points, no line", 12, 0, first, last, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FormatRouteStatistics(row.object_id, row.points, row.first, row.last),
                  row.expected)
            << row.name;
    }
}

TEST(RouteStatistics, DatesBeforeTheEpochEastOfGreenwich) {
    // Local midnight of 01.01.1970 in Moscow is 21:00 UTC the day before, a negative time.
    ScopedTimeZone zone("MSK-3");
    const auto midnight = LocalMidnight(1970, 1, 1);
    ASSERT_TRUE(midnight);
    EXPECT_EQ(*midnight, -3 * 3600);
    EXPECT_EQ(FormatDate(*midnight, "%d.%m.%Y"), "01.01.1970");
    EXPECT_EQ(FormatDate(*midnight, "%j %w"), "001 4");  // day of the year, Thursday
    EXPECT_EQ(FormatRouteStatistics(7, 2, *midnight, *LocalMidnight(1970, 1, 2)),
              "0007 (2 точки на временном интервале: 01.01.1970 - 02.01.1970)");
}

TEST(RouteStatistics, DateTooLongForTheBufferIsEmpty) {
    ScopedTimeZone zone("UTC0");
    const std::string long_format(64, 'x');
    EXPECT_EQ(FormatDate(0, (long_format + "%d.%m.%Y").c_str()), long_format + "01.01.1970");
    EXPECT_EQ(FormatDate(0, (long_format + long_format).c_str()), "");
}

}  // namespace
}  // namespace korvalen
