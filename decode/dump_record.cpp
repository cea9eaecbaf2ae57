// A position record checked field by field and decoded into a report, with times carried
// over into real dates.
#include "decode/dump_record.h"

#include <cstdint>

#include "platform/clock.h"

namespace korvalen {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

bool IsNumberCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '-';
}

bool AllNumberCharacters(std::string_view field) {
    for (char c : field) {
        if (!IsNumberCharacter(c))
            return false;
    }
    return true;
}

// A numeric field as the check and the decoding see it together: false when a character
// is not a digit or a sign, otherwise `value` is what ParseFieldInteger gives. Fields of
// digits only, nearly all of them, are read in one loop the compiler unrolls.
template <std::size_t N>
bool ReadNumberField(const char* field, std::int32_t& value) {
    static_assert(N <= 9, "the value of nine digits fits an int32");
    std::int32_t digits = 0;
    for (std::size_t i = 0; i < N; ++i) {
        const unsigned digit = static_cast<unsigned char>(field[i]) - unsigned{'0'};
        if (digit > 9) {
            const std::string_view whole(field, N);
            if (!AllNumberCharacters(whole))
                return false;
            value = ParseFieldInteger(whole);
            return true;
        }
        digits = digits * 10 + static_cast<std::int32_t>(digit);
    }
    value = digits;
    return true;
}

// The numbers of a record with ID, at their fixed places.
struct RecordFields {
    std::int32_t day = 0;
    std::int32_t month = 0;
    std::int32_t year = 0;
    std::int32_t seconds = 0;
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::int32_t speed = 0;
    std::int32_t course = 0;
    std::int32_t object_id = 0;
};

// The body is the record without its type and without the ID suffix: 38 or 56
// characters, positions relative to it. Checks every numeric field and the date ranges,
// and keeps the numbers read on the way.
bool ReadBody(std::string_view body, RecordFields& f) {
    const char* b = body.data();
    const char* tail = b + body.size() - 2;  // fix dimension and fix age
    return ReadNumberField<2>(b, f.day) && f.day >= 1 && f.day <= 31 &&
           ReadNumberField<2>(b + 2, f.month) && f.month >= 1 && f.month <= 12 &&
           ReadNumberField<4>(b + 4, f.year) && f.year >= 1970 && f.year <= 3000 &&
           ReadNumberField<5>(b + 8, f.seconds) && ReadNumberField<8>(b + 13, f.latitude) &&
           ReadNumberField<9>(b + 21, f.longitude) && ReadNumberField<3>(b + 30, f.speed) &&
           ReadNumberField<3>(b + 33, f.course) && IsNumberCharacter(tail[0]) &&
           IsNumberCharacter(tail[1]);
}

// A record with ID (49 or 67 characters): its ID suffix and body checked, its numbers read.
bool ReadRecordWithId(std::string_view r, RecordFields& f) {
    const char* suffix = r.data() + r.size() - kIdSuffixLength;
    return std::string_view(suffix, kIdSuffixTag.size()) == kIdSuffixTag &&
           ReadNumberField<4>(suffix + kIdSuffixTag.size(), f.object_id) &&
           ReadBody(r.substr(3, r.size() - 3 - kIdSuffixLength), f);
}

std::int32_t FlagValue(char c) {
    return c == '1' ? 1 : c == '0' ? 0 : 2;
}

// "0"-"9" are 0-9 and every other character is its code minus 55 ("A"-"F" give 10-15).
// Unsigned, so that odd bytes give odd but defined values.
std::uint32_t HexValue(char high, char low) {
    const auto digit = [](char c) -> std::uint32_t {
        const auto code = static_cast<std::uint32_t>(static_cast<unsigned char>(c));
        return c >= '0' && c <= '9' ? code - '0' : code - 55u;
    };
    return digit(high) * 16u + digit(low);
}

std::int64_t FloorDivide(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

void DecodeExtension(std::string_view ext, MRVMessage& m) {
    for (std::size_t i = 0; i < 5; ++i)
        m.StatusFlags[i] = FlagValue(ext[i]);
    m.Analog0 = HexValue(ext[5], ext[6]) * 2.75 * 0.9 / 256 + 0.138;
    for (std::size_t i = 0; i < 5; ++i)
        m.Inputs[i] = FlagValue(ext[7 + i]);
    m.Analog1 = HexValue(ext[12], ext[13]) * 2.75 * 0.99 / 256 + 0.0275;
    m.Analog2 = HexValue(ext[14], ext[15]) * 2.75 * 0.99 / 256 + 0.0275;
    m.Analog3 = HexValue(ext[16], ext[17]) * 2.75 * 0.99 / 256 + 0.0275;
}

}  // namespace

std::int32_t ParseFieldInteger(std::string_view field) {
    std::size_t i = 0;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        if (value < 1'000'000'000'000)
            value = value * 10 + (field[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

bool CheckRecord(std::string_view content) {
    const std::size_t length = content.size();
    RecordFields unused;
    if (HasIdSuffix(length))
        return ReadRecordWithId(content, unused);
    // The packed 25-character record among others fails here.
    return (length == kShortRecordLength || length == kLongRecordLength) &&
           ReadBody(content.substr(3), unused);
}

void DecodeRecord(std::string_view record, const Clock& clock, MRVMessage& message) {
    DecodeRecord(record, ToOleDate(clock.UtcNow()), ToOleDate(clock.LocalNow()), message);
}

namespace {

// Fills a report from a record with ID whose numbers have been read.
void FillReport(std::string_view r, const RecordFields& f, double decoded_utc, double decoded_local,
                MRVMessage& m) {
    m.DecodedUtc = decoded_utc;
    m.DecodedLocal = decoded_local;
    m.Day = f.day;
    m.Month = f.month;
    m.Year = f.year;
    m.SecondsOfDay = f.seconds;

    if (m.SecondsOfDay >= 0 && m.SecondsOfDay < kSecondsPerDay && m.Month >= 1 && m.Month <= 12 &&
        m.Day >= 1 && m.Day <= DaysInMonth(m.Year, m.Month)) {
        m.FixTimeParts = CalendarTime{m.Year,
                                      m.Month,
                                      m.Day,
                                      m.SecondsOfDay / 3600,
                                      m.SecondsOfDay % 3600 / 60,
                                      m.SecondsOfDay % 60,
                                      0};
    } else if (m.Month >= 1 && m.Month <= 12) {
        // Day 1 of the month plus the days and seconds counted from there: a day past the
        // month's end or a time past midnight moves on into the next days.
        const std::int64_t seconds = m.SecondsOfDay;
        const std::int64_t whole_days = FloorDivide(seconds, kSecondsPerDay);
        const std::int64_t days =
            DaysFromCivil(m.Year, static_cast<unsigned>(m.Month), 1) + (m.Day - 1) + whole_days;
        const std::int64_t time_of_day = seconds - whole_days * kSecondsPerDay;
        m.FixTimeParts = FromOleDate(static_cast<double>(days - kOleEpochDays) +
                                     static_cast<double>(time_of_day) / kSecondsPerDay);
        m.FixTimeParts.millisecond = 0;
    }
    m.ReportTimeParts = m.FixTimeParts;
    m.FixTime = ToOleDate(m.FixTimeParts);
    m.ReportTime = m.FixTime;

    m.ObjectID = f.object_id;
    m.Latitude = f.latitude / 100000.0;
    m.Longitude = f.longitude / 100000.0;
    m.Speed = f.speed * 1.853;
    m.Course = f.course;
    const char fix_age = r[r.size() - 9];
    const char fix_dimension = r[r.size() - 10];
    m.Validity = fix_age == '1' ? 1 : fix_age == '2' ? 2 : 0;
    m.FixMode = fix_dimension == '0' ? 0 : fix_dimension == '1' ? 1 : 2;

    // Only the long form has the extension; a short "RPS" record is an ordinary one.
    if (r.substr(0, 3) == "RPS" && r.size() == kLongRecordWithIdLength) {
        m.HasInputs = true;
        DecodeExtension(r.substr(39, 18), m);
    }
}

}  // namespace

void DecodeRecord(std::string_view r, double decoded_utc, double decoded_local, MRVMessage& m) {
    if (!HasIdSuffix(r.size()))
        return;  // not a record with ID: the pass never hands one
    if (r.substr(0, 3) == "PPS") {
        m.IsPps = true;
        return;
    }
    RecordFields f;
    f.day = ParseFieldInteger(r.substr(3, 2));
    f.month = ParseFieldInteger(r.substr(5, 2));
    f.year = ParseFieldInteger(r.substr(7, 4));
    f.seconds = ParseFieldInteger(r.substr(11, 5));
    f.latitude = ParseFieldInteger(r.substr(16, 8));
    f.longitude = ParseFieldInteger(r.substr(24, 9));
    f.speed = ParseFieldInteger(r.substr(33, 3));
    f.course = ParseFieldInteger(r.substr(36, 3));
    f.object_id = ParseFieldInteger(r.substr(r.size() - 4));
    FillReport(r, f, decoded_utc, decoded_local, m);
}

bool CheckAndDecodeRecord(std::string_view r, MRVMessage& m) {
    RecordFields f;
    if (!HasIdSuffix(r.size()) || !ReadRecordWithId(r, f))
        return false;
    if (r.substr(0, 3) == "PPS")
        m.IsPps = true;
    else
        FillReport(r, f, 0, 0, m);
    return true;
}

}  // namespace korvalen
