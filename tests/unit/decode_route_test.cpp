// A route's rules for standing vehicles, its counts and dates, and its one-step-late writes.
#include "decode/route.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "decode/route_table.h"
#include "decode_test_support.h"
#include "recording_message_sink.h"
#include "scoped_time_zone.h"
#include "temp_folder.h"

// Reports are described with designated initializers that leave the other fields at
// their defaults; g++ 12 warns about that although nothing is left uninitialised.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace korvalen {
namespace {

using testing::RecordingMessageSink;
using testing::ScopedTimeZone;
using testing::StoppedClock;

const StoppedClock kClock({2007, 11, 7, 12, 34, 56, 0}, {2007, 11, 7, 9, 34, 56, 0});

struct ReportFields {
    int day = 7;
    int seconds = 45296;
    double latitude = 55.5;
    double longitude = 37.25;
    int validity = 2;
    std::optional<int> in1;  // inputs carried (an "RPS" record) when set
    bool no_position = false;
};

MRVMessage Report(const ReportFields& s) {
    MRVMessage m;
    m.ObjectID = 12;
    m.Year = 2007;
    m.Month = 11;
    m.Day = s.day;
    m.SecondsOfDay = s.seconds;
    m.FixTimeParts = {2007, 11, s.day, s.seconds / 3600, s.seconds % 3600 / 60, s.seconds % 60, 0};
    m.ReportTimeParts = m.FixTimeParts;
    m.FixTime = m.ReportTime = ToOleDate(m.FixTimeParts);
    m.Latitude = s.latitude;
    m.Longitude = s.longitude;
    m.Course = 90;
    m.Speed = 40;
    m.Validity = s.validity;
    m.FixMode = 1;
    m.NoPosition = s.no_position;
    if (s.in1) {
        m.HasInputs = true;
        m.Inputs = {*s.in1, 0, 0, 0, 0};
    }
    return m;
}

// A route that writes nothing.
CSpecMRVMessage QuietRoute(RecordingMessageSink& sink, bool ignition_check = false, int input = 0,
                           int status = 1) {
    return CSpecMRVMessage({.OutputFolder = "unused/",
                            .FileNumber = 12,
                            .ObjectID = 12,
                            .WriteMessageFiles = false,
                            .IndInNum = input,
                            .IndInStatus = status,
                            .IndInChk = ignition_check},
                           sink, kClock);
}

TEST(Route, StaleRunsKeepTheTimeTheyBegan) {
    RecordingMessageSink sink;
    CSpecMRVMessage route = QuietRoute(sink);
    route.Add(Report({.seconds = 1000, .validity = 1}));
    route.Add(Report({.seconds = 1060, .validity = 1}));
    EXPECT_EQ(route.Held().ReportTimeParts.second, 1000 % 60);
    EXPECT_EQ(route.Held().ReportTimeParts.minute, 1000 / 60);
    EXPECT_EQ(route.Held().FixTimeParts.minute, 1060 / 60);  // its own fix time stays
    route.Add(Report({.seconds = 1120, .validity = 1}));
    EXPECT_EQ(route.Held().ReportTime, ToOleDate({2007, 11, 7, 0, 16, 40, 0}));

    const struct {
        const char* name;
        ReportFields next;
    } breaks[] = {
        {"a fresh record", {.seconds = 1060, .validity = 2}},
        {"another place", {.seconds = 1060, .latitude = 55.50001, .validity = 1}},
        {"an earlier record", {.seconds = 940, .validity = 1}},
    };
    for (const auto& b : breaks) {
        CSpecMRVMessage r = QuietRoute(sink);
        r.Add(Report({.seconds = 1000, .validity = 1}));
        r.Add(Report(b.next));
        EXPECT_EQ(r.Held().ReportTime, r.Held().FixTime) << b.name;
    }
}

TEST(Route, IgnitionOffHoldsTheVehicleWhereItWas) {
    const struct {
        const char* name;
        int input;  // IndInNum
        ReportFields next;
        bool moves;
    } cases[] = {
        {"IN1 on", 0, {.seconds = 2000, .latitude = 56, .in1 = 1}, true},
        {"IN1 off", 0, {.seconds = 2000, .latitude = 56, .in1 = 0}, false},
        {"IN1 undetermined", 0, {.seconds = 2000, .latitude = 56, .in1 = 2}, false},
        {"input number out of range", 5, {.seconds = 2000, .latitude = 56, .in1 = 1}, false},
        {"earlier than the held record", 0, {.seconds = 500, .latitude = 56, .in1 = 0}, true},
        // A record without inputs cannot tell the ignition state.
        {"no inputs", 0, {.seconds = 2000, .latitude = 56}, true},
    };
    for (const auto& c : cases) {
        RecordingMessageSink sink;
        CSpecMRVMessage route = QuietRoute(sink, true, c.input, 1);
        route.Add(Report({.seconds = 1000, .latitude = 55.5, .in1 = 1}));
        route.Add(Report(c.next));
        if (c.moves) {
            EXPECT_EQ(route.Held().Latitude, 56) << c.name;
            EXPECT_EQ(route.Held().Speed, 40) << c.name;
        } else {
            EXPECT_EQ(route.Held().Latitude, 55.5) << c.name;
            EXPECT_EQ(route.Held().Longitude, 37.25) << c.name;
            EXPECT_EQ(route.Held().Course, 90) << c.name;
            EXPECT_EQ(route.Held().Speed, 0) << c.name;
        }
    }
}

TEST(Route, CountsAndDateRange) {
    ScopedTimeZone zone("UTC0");
    RecordingMessageSink sink;
    CSpecMRVMessage route = QuietRoute(sink);
    route.Add(Report({.day = 8}));
    route.Add(Report({.day = 7, .no_position = true}));
    route.Add(Report({.day = 9, .validity = 1}));
    route.Add(Report({.day = 8}));
    EXPECT_EQ(route.RecordCount(), 4);
    EXPECT_EQ(route.PointCount(), 3);
    EXPECT_EQ(route.FirstDate(), 1194393600);  // 07.11.2007 00:00 UTC
    EXPECT_EQ(route.LastDate(), 1194393600 + 2 * 86400);
    EXPECT_EQ(route.FormatRouteStatistics(),
              "0012 (3 точки на временном интервале: 07.11.2007 - 09.11.2007)");
}

// East of UTC the local midnight of 01.01.1970 lies before the epoch.
TEST(Route, FirstDayOf1970EastOfUtc) {
    ScopedTimeZone zone("MSK-3");
    RecordingMessageSink sink;
    CSpecMRVMessage route = QuietRoute(sink);
    MRVMessage m = Report({});
    m.Year = 1970;
    m.Month = 1;
    m.Day = 1;
    route.Add(m);
    EXPECT_EQ(route.FirstDate(), -3 * 3600);
    EXPECT_EQ(route.FormatRouteStatistics(),
              "0012 (1 точка на временном интервале: 01.01.1970 - 01.01.1970)");
}

TEST(Route, ADateWithoutLocalMidnightLeavesTheRouteAsItWas) {
    RecordingMessageSink sink;
    CSpecMRVMessage route = QuietRoute(sink);
    route.Add(Report({.latitude = 1}));
    MRVMessage bad = Report({.latitude = 2});
    bad.Year = 1899;
    EXPECT_THROW(route.Add(bad), std::invalid_argument);
    EXPECT_EQ(route.Held().Latitude, 1);
    EXPECT_EQ(route.RecordCount(), 1);
}

// Each record is written when the next one arrives; a route moved elsewhere takes its
// files along, and the final write closes them. A staged message file is made where it
// was asked for, under a name free in the InBox too.
TEST(Route, WritesOneStepLateIntoItsOwnFiles) {
    testing::TempFolder folder;
    RecordingMessageSink sink;
    std::filesystem::create_directory(folder / "staging");
    testing::WriteTestFile(folder / "07123456.012", "taken in the InBox");
    CSpecMRVMessage route({.OutputFolder = folder.path() + "/",
                           .StagingFolder = folder / "staging/",
                           .FileNumber = 12,
                           .ObjectID = 12},
                          sink, kClock);
    ASSERT_EQ(route.MessageFileName(), folder / "staging/07123457.012");
    route.Add(Report({.seconds = 1000}));
    CSpecMRVMessage moved = std::move(route);
    EXPECT_TRUE(moved.WriteHeld(false));
    moved.Add(Report({.seconds = 2000}));
    EXPECT_TRUE(moved.WriteHeld(true));
    {
        File closed;  // another exclusive opener gets it
        EXPECT_TRUE(
            closed.Open(moved.MessageFileName(), OpenMode::OpenExisting, Sharing::Exclusive));
    }
    const std::string bytes = testing::ReadTestFile(moved.MessageFileName());
    // Two position records of 80 + 21 bytes ("(FLASH) Свежее 3D "); only the second marked.
    ASSERT_EQ(bytes.size(), 2u * (80 + 18));
    EXPECT_EQ(bytes.substr(32, 4), std::string("\x0C\0\0\0", 4));
    EXPECT_EQ(bytes.substr(98 + 32, 4), std::string("\x0C\0\0\x80", 4));
    EXPECT_TRUE(sink.messages.empty());
}

TEST(RouteTable, FindsObjectsInOrderOfAppearance) {
    RecordingMessageSink sink;
    RouteTable table;
    EXPECT_FALSE(table.Find(12));
    for (int id : {42, 12, 7}) {
        table.Append(CSpecMRVMessage({.OutputFolder = "unused/",
                                      .FileNumber = id,
                                      .ObjectID = id,
                                      .WriteMessageFiles = false},
                                     sink, kClock));
    }
    EXPECT_EQ(table.Find(12), 1u);
    EXPECT_EQ(table.Find(7), 2u);
    EXPECT_FALSE(table.Find(8));
    EXPECT_EQ(table.at(0).ObjectID(), 42);
    EXPECT_THROW(table.at(3), std::out_of_range);
}

}  // namespace
}  // namespace korvalen
