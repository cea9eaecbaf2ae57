// Which records pass the check, and what each field decodes to.
#include "decode/dump_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace korvalen {
namespace {

// 07.11.2007 12:34:56, 55.75205 N, 37.6243 E, 27 knots, course 123, 3D, fresh.
const std::string kShort = "GPS07112007452960557520500376243002712312";
// The same as "RPS" with F1-F5 10000, A0 FF, IN1-IN5 10010, A1 00, A2 80, A3 FF.
const std::string kLong =
    "RPS07112007452960557520500376243002712310000FF10010"
    "0080FF"
    "12";
const std::string kId = ";ID=0042";

// `record` with the characters from `at` replaced by `text`.
std::string With(std::string record, std::size_t at, const std::string& text) {
    return record.replace(at, text.size(), text);
}

TEST(CheckRecord, AcceptsWhatTheLoggerWritesAndNothingElse) {
    ASSERT_EQ(kShort.size(), 41u);
    ASSERT_EQ(kLong.size(), 59u);
    const struct {
        const char* name;
        std::string record;
        bool passes;
    } cases[] = {
        {"short without ID", kShort, true},
        {"long without ID", kLong, true},
        {"short with ID", kShort + kId, true},
        {"long with ID", kLong + kId, true},
        {"ID tag in lower case", kShort + ";id=0042", false},
        {"ID tag with a colon", kShort + ":ID=0042", false},
        {"ID with a letter", kShort + ";ID=00A2", false},
        {"ID with signs", kShort + ";ID=+0-2", true},
        {"day 00", With(kShort, 3, "00"), false},
        {"day 32", With(kShort, 3, "32"), false},
        {"day 31 of February", With(With(kShort, 3, "31"), 5, "02"), true},
        {"day +1", With(kShort, 3, "+1"), true},
        {"day -1", With(kShort, 3, "-1"), false},
        {"month 13", With(kShort, 5, "13"), false},
        {"year 1969", With(kShort, 7, "1969"), false},
        {"year 3000", With(kShort, 7, "3000"), true},
        {"year 3001", With(kShort, 7, "3001"), false},
        {"time 99999", With(kShort, 11, "99999"), true},
        {"letter in the latitude", With(kShort, 16, "0557A205"), false},
        {"signs in the latitude", With(kShort, 16, "-+557520"), true},
        {"letter in the longitude", With(kShort, 24, "00376243Z"), false},
        {"blank in the speed", With(kShort, 33, " 27"), false},
        {"letter as fix age", With(kShort, 40, "X"), false},
        {"type is not checked", With(kShort, 0, "@#!"), true},
        {"extension is not checked", With(kLong, 39, "ZZZZZZZZZZZZZZZZZZ"), true},
        {"packed record length", std::string(25, '1'), false},
        {"other length", kShort.substr(0, 40), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckRecord(c.record), c.passes) << c.name;
}

TEST(DecodeRecord, LongRecordWithInputs) {
    MRVMessage m;
    DecodeRecord(kLong + kId, 1000.25, 1000.5, m);
    EXPECT_FALSE(m.IsPps);
    EXPECT_TRUE(m.HasInputs);
    EXPECT_EQ(m.ObjectID, 42);
    EXPECT_EQ(m.Year, 2007);
    EXPECT_EQ(m.Month, 11);
    EXPECT_EQ(m.Day, 7);
    EXPECT_EQ(m.SecondsOfDay, 45296);
    EXPECT_EQ(m.FixTimeParts.hour, 12);
    EXPECT_EQ(m.FixTimeParts.minute, 34);
    EXPECT_EQ(m.FixTimeParts.second, 56);
    EXPECT_EQ(m.ReportTimeParts.second, 56);
    EXPECT_NEAR(m.FixTime, 39393.52425925926, 1e-9);
    EXPECT_EQ(m.ReportTime, m.FixTime);
    EXPECT_EQ(m.DecodedUtc, 1000.25);
    EXPECT_EQ(m.DecodedLocal, 1000.5);
    EXPECT_DOUBLE_EQ(m.Latitude, 55.75205);
    EXPECT_DOUBLE_EQ(m.Longitude, 37.6243);
    EXPECT_DOUBLE_EQ(m.Speed, 50.031);
    EXPECT_DOUBLE_EQ(m.Course, 123);
    EXPECT_EQ(m.Validity, 2);
    EXPECT_EQ(m.FixMode, 1);
    EXPECT_EQ(m.StatusFlags, (std::array<std::int32_t, 5>{1, 0, 0, 0, 0}));
    EXPECT_EQ(m.Inputs, (std::array<std::int32_t, 5>{1, 0, 0, 1, 0}));
    EXPECT_DOUBLE_EQ(m.Analog0, 255 * 2.75 * 0.9 / 256 + 0.138);
    EXPECT_DOUBLE_EQ(m.Analog1, 0.0275);
    EXPECT_DOUBLE_EQ(m.Analog2, 1.38875);
    EXPECT_DOUBLE_EQ(m.Analog3, 255 * 2.75 * 0.99 / 256 + 0.0275);
    EXPECT_EQ(m.Flags, 0u);
    EXPECT_FALSE(m.NoPosition);
    EXPECT_FALSE(m.PowerUp);
}

TEST(DecodeRecord, RecordKindsAndFixCharacters) {
    const struct {
        const char* name;
        std::string record;
        bool pps;
        bool has_inputs;
        int validity;
        int fix_mode;
    } cases[] = {
        {"ordinary short", kShort + kId, false, false, 2, 1},
        {"PPS decodes nothing", With(kShort, 0, "PPS") + kId, true, false, 0, 0},
        {"short RPS has no extension", With(kShort, 0, "RPS") + kId, false, false, 2, 1},
        {"long record of another type", With(kLong, 0, "GPS") + kId, false, false, 2, 1},
        {"2D stale", With(kShort, 39, "01") + kId, false, false, 1, 0},
        {"undetermined age", With(kShort, 39, "10") + kId, false, false, 0, 1},
        {"undetermined dimension", With(kShort, 39, "-2") + kId, false, false, 2, 2},
        {"long, fix characters at 57 and 58", With(kLong, 57, "01") + kId, false, true, 1, 0},
    };
    for (const auto& c : cases) {
        MRVMessage m;
        DecodeRecord(c.record, 0, 0, m);
        EXPECT_EQ(m.IsPps, c.pps) << c.name;
        EXPECT_EQ(m.HasInputs, c.has_inputs) << c.name;
        EXPECT_EQ(m.Validity, c.validity) << c.name;
        EXPECT_EQ(m.FixMode, c.fix_mode) << c.name;
        if (c.pps) {
            EXPECT_EQ(m.Year, 0) << c.name;  // so the pass drops it at its date check
        }
        if (!c.has_inputs) {
            EXPECT_EQ(m.Inputs, (std::array<std::int32_t, 5>{})) << c.name;
        }
    }
}

TEST(DecodeRecord, SignedNumbers) {
    MRVMessage m;
    DecodeRecord(With(With(kShort, 16, "-0550000"), 24, "-01234567") + ";ID=+012", 0, 0, m);
    EXPECT_DOUBLE_EQ(m.Latitude, -5.5);
    EXPECT_DOUBLE_EQ(m.Longitude, -12.34567);
    EXPECT_EQ(m.ObjectID, 12);
    DecodeRecord(kShort + ";ID=12-3", 0, 0, m);
    EXPECT_EQ(m.ObjectID, 12);  // read as atoi reads: up to the first non-digit
}

// Whatever passes the check decodes to a real time: days and seconds past the end of a
// month or a day carry over, and negative times of day reach back.
TEST(DecodeRecord, TimesOutsideTheirRangeCarryOver) {
    const struct {
        const char* name;
        std::string day_month_year_time;  // 13 characters from position 3
        CalendarTime expected;
    } cases[] = {
        {"last second of a day", "0711200786399", {2007, 11, 7, 23, 59, 59, 0}},
        {"86400 is the next midnight", "0711200786400", {2007, 11, 8, 0, 0, 0, 0}},
        {"99999", "3112200799999", {2008, 1, 1, 3, 46, 39, 0}},
        {"31.02 is 03.03", "3102200700000", {2007, 3, 3, 0, 0, 0, 0}},
        {"31.02 of a leap year is 02.03", "3102200800000", {2008, 3, 2, 0, 0, 0, 0}},
        {"negative time of day", "01011970-0060", {1969, 12, 31, 23, 59, 0, 0}},
    };
    for (const auto& c : cases) {
        const std::string record = With(kShort, 3, c.day_month_year_time) + kId;
        ASSERT_TRUE(CheckRecord(record)) << c.name;
        MRVMessage m;
        DecodeRecord(record, 0, 0, m);
        const CalendarTime& t = m.FixTimeParts;
        EXPECT_EQ(t.year, c.expected.year) << c.name;
        EXPECT_EQ(t.month, c.expected.month) << c.name;
        EXPECT_EQ(t.day, c.expected.day) << c.name;
        EXPECT_EQ(t.hour, c.expected.hour) << c.name;
        EXPECT_EQ(t.minute, c.expected.minute) << c.name;
        EXPECT_EQ(t.second, c.expected.second) << c.name;
        EXPECT_EQ(m.FixTime, ToOleDate(c.expected)) << c.name;
    }
}

// Hexadecimal fields are not validated: any byte gives a defined value ("G" counts 16,
// "+" and bytes above 0x7F wrap around in unsigned arithmetic), never a crash.
TEST(DecodeRecord, OddHexadecimalDigits) {
    MRVMessage m;
    DecodeRecord(With(kLong, 51, "G0+0\xC8\xFF") + kId, 0, 0, m);
    EXPECT_DOUBLE_EQ(m.Analog1, 2.75);  // 16 * 16 = 256
    const std::uint32_t plus = (43u - 55u) * 16u;
    EXPECT_DOUBLE_EQ(m.Analog2, plus * 2.75 * 0.99 / 256 + 0.0275);
    const std::uint32_t high = (0xC8u - 55u) * 16u + (0xFFu - 55u);
    EXPECT_DOUBLE_EQ(m.Analog3, high * 2.75 * 0.99 / 256 + 0.0275);
    EXPECT_TRUE(std::isfinite(m.Analog2));
}

}  // namespace
}  // namespace korvalen
