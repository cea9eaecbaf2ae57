// The simulated fleet's logger: records the project's decoder takes, routes that could
// be driven, and the history's size options. (tests/tools/korvalen_sim_test.sh decodes
// a read of the default history into its routes.)
#include "tools/sim/logger_model.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "decode/dump_record.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // designated initializers

namespace korvalen::sim {
namespace {

using namespace std::chrono;

const Seconds kStart = sys_days{year{2024} / 3 / 10};  // --start 2024-03-10

std::string Bytes(const History& history) {
    std::string bytes;
    for (const LoggedRecord& record : history.records)
        bytes += record.bytes;
    return bytes;
}

// A frame's fields as the project's decoder reads them; records without ID get one.
MRVMessage Decode(const std::string& frame) {
    std::string content = frame.substr(1, frame.size() - 2);
    if (!HasIdSuffix(content.size()))
        content += ";ID=9999";
    MRVMessage message;
    DecodeRecord(content, 0, 0, message);
    return message;
}

// Metres between two positions; a flat earth is good enough across a town.
double Metres(const MRVMessage& a, const MRVMessage& b) {
    const double north = (b.Latitude - a.Latitude) * 111320.0;
    const double east = (b.Longitude - a.Longitude) * 111320.0 * std::cos(a.Latitude * M_PI / 180);
    return std::hypot(north, east);
}

TEST(SimLoggerModel, DefaultHistoryIsAFewDaysOfPlausibleRoutes) {
    const History history = MakeHistory({}, kStart);
    // A first read at the line rate (11,520 bytes/s) takes 13-22 s.
    EXPECT_GE(history.bytes, 150'000u);
    EXPECT_LE(history.bytes, 250'000u);

    std::map<int, std::vector<MRVMessage>> by_object;  // 9999: the records without ID
    std::set<std::string> dates;
    int power_ons = 0, stale = 0, two_d = 0, ignition_off = 0, short_records = 0;
    for (const LoggedRecord& record : history.records) {
        SCOPED_TRACE(record.frame);
        ASSERT_TRUE(CheckRecord(record.frame.substr(1, record.frame.size() - 2)));
        const MRVMessage m = Decode(record.frame);
        if (record.bytes.starts_with("RESET\r\n")) {
            ++power_ons;
            EXPECT_EQ(m.Validity, 2) << "a power-on is followed by a fresh fix";
            EXPECT_EQ(m.FixMode, 1);
        }
        EXPECT_TRUE(record.bytes.ends_with(record.frame + "\r\n"));
        dates.insert(record.frame.substr(4, 8));
        stale += m.Validity == 1;
        two_d += m.FixMode == 0;
        ignition_off += m.HasInputs && m.Inputs[0] == 0;
        short_records += !m.HasInputs;
        by_object[m.ObjectID].push_back(m);
    }
    // The three days before the start; each vehicle switched on once a working day.
    EXPECT_EQ(dates, (std::set<std::string>{"07032024", "08032024", "09032024"}));
    EXPECT_EQ(power_ons, 4 * 3);
    EXPECT_GT(stale, 100);
    EXPECT_GT(two_d, 10);
    EXPECT_GT(ignition_off, 100);
    EXPECT_GT(short_records, 300);

    ASSERT_EQ(by_object.size(), 4u);
    for (int id : {12, 149, 286, 9999})
        EXPECT_TRUE(by_object.count(id)) << id;
    for (int id : {12, 149, 286})
        EXPECT_LT(by_object[9999].size(), by_object[id].size()) << "fewer records without ID";

    for (const auto& [id, fixes] : by_object) {
        SCOPED_TRACE(id);
        for (std::size_t i = 1; i < fixes.size(); ++i) {
            const MRVMessage& before = fixes[i - 1];
            const MRVMessage& fix = fixes[i];
            const double seconds = (fix.FixTime - before.FixTime) * 86400.0;
            ASSERT_GT(seconds, 0.5) << "times increase, " << fix.Day << " " << fix.SecondsOfDay;
            const double metres = Metres(before, fix);
            if (fix.Validity == 1) {
                EXPECT_EQ(metres, 0) << "a stale fix repeats the last position";
                EXPECT_EQ(fix.Speed, 0);
            }
            // Town traffic: never faster than the 62 km/h the vehicles drive at most
            // (and a metre of rounding).
            EXPECT_LE(metres, 62 / 3.6 * seconds + 2) << fix.Day << " " << fix.SecondsOfDay;
            EXPECT_LE(fix.Speed, 63);
        }
    }
}

TEST(SimLoggerModel, HistoryOptionsSetItsSpanSizeAndVehicles) {
    const auto first_date = [](const History& h) { return h.records.front().frame.substr(4, 8); };
    const auto last_date = [](const History& h) { return h.records.back().frame.substr(4, 8); };
    const struct {
        const char* name;
        HistoryOptions options;
        std::size_t least_bytes, most_bytes;
        std::string first, last;
        std::size_t objects;
    } cases[] = {
        // A record with its power-on marker is at most 7 + 69 + 2 bytes.
        {"a size below the days' history keeps the latest records",
         {.logger = {}, .days = std::nullopt, .size = 50'000},
         50'000 - 78,
         50'000,
         "",
         "09032024",
         4},
        {"a size without days reaches back as far as it takes",
         {.logger = {}, .days = std::nullopt, .size = 1'000'000},
         1'000'000 - 78,
         1'000'000,
         "",
         "09032024",
         4},
        {"one day",
         {.logger = {}, .days = 1, .size = std::nullopt},
         1,
         100'000,
         "09032024",
         "09032024",
         4},
        {"days and a size: the size wins",
         {.logger = {}, .days = 3, .size = 10'000},
         10'000 - 78,
         10'000,
         "09032024",
         "09032024",
         4},
        {"one vehicle has an ID",
         {.logger = {.vehicles = 1}, .days = 3, .size = std::nullopt},
         1,
         100'000,
         "07032024",
         "09032024",
         1},
        {"every vehicle with ID",
         {.logger = {.all_with_id = true}, .days = 1, .size = std::nullopt},
         1,
         100'000,
         "09032024",
         "09032024",
         4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const History history = MakeHistory(c.options, kStart);
        ASSERT_FALSE(history.records.empty());
        EXPECT_EQ(history.bytes, Bytes(history).size());
        EXPECT_GE(history.bytes, c.least_bytes);
        EXPECT_LE(history.bytes, c.most_bytes);
        if (!c.first.empty()) {
            EXPECT_EQ(first_date(history), c.first);
        }
        EXPECT_EQ(last_date(history), c.last);
        std::set<int> objects;
        bool without_id = false;
        for (const LoggedRecord& record : history.records) {
            objects.insert(Decode(record.frame).ObjectID);
            without_id = without_id || !HasIdSuffix(record.frame.size() - 2);
        }
        EXPECT_EQ(objects.size(), c.objects);
        EXPECT_EQ(without_id, c.objects > 1 && !c.options.logger.all_with_id);
    }
    // Reaching back for a million bytes took more than the three default days.
    EXPECT_LT(
        first_date(MakeHistory({.logger = {}, .days = std::nullopt, .size = 1'000'000}, kStart))
            .substr(2),
        "032024");

    // The seed fixes the history; another seed gives another.
    EXPECT_EQ(Bytes(MakeHistory({}, kStart)), Bytes(MakeHistory({}, kStart)));
    EXPECT_NE(Bytes(MakeHistory({}, kStart)), Bytes(MakeHistory({.logger = {.seed = 2}}, kStart)));
}

TEST(SimLoggerModel, WhileRunningTheVehiclesRecordInTurnAtTheCurrentTime) {
    History history = MakeHistory({}, kStart);
    // At midnight the fleet is switched off: each vehicle powers up at its first record.
    for (int i = 0; i < 8; ++i) {
        const LoggedRecord record = history.logger.RecordAt(kStart + seconds{i});
        const MRVMessage m = Decode(record.frame);
        SCOPED_TRACE(record.frame);
        EXPECT_EQ(record.bytes.starts_with("RESET\r\n"), i < 4);
        EXPECT_EQ(record.frame.substr(4, 8), "10032024");
        EXPECT_EQ(m.SecondsOfDay, i);
    }
}

}  // namespace
}  // namespace korvalen::sim
