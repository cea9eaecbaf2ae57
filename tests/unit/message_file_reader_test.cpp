// Message files read back, printed one line a record, and damage named by its offset.
#include "output/message_file_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "hex_bytes.h"

namespace korvalen {
namespace {

using testing::FromHex;

// An inputs record of object 12 at 07.11.2007 06:00 (39393.25) and the last position
// record at 12:00 (39393.5), 37.5° E, 55.75° N, course 123, speed 45.5, as a writer
// would produce them.
const std::string kInputsRecord = FromHex(
    "0c000000 00000000 00000000283ce340 000000000088e340 000000000488e340 00000000 00000000"
    "0000000000000000 0000000000000000 0000000000000000 0000000000000000 e8030000 19000000"
    "28464c4153482920 c2f5eee4fb3a20 31203020302031203020");
const std::string kLastPositionRecord = FromHex(
    "0c000000 00000000 00000000303ce340 000000000088e340 000000000488e340 0c000080 00000000"
    "0000000000c04240 0000000000e04b40 0000000000c05e40 0000000000c04640 e8030000 15000000"
    "28464c4153482920 d1e2e5e6e5e520 505520334420");

TEST(MessageFileReader, ReadsAndFormatsEveryRecord) {
    const MessageFileContents contents = ReadMessageRecords(kInputsRecord + kLastPositionRecord);
    EXPECT_EQ(contents.error, "");
    ASSERT_EQ(contents.records.size(), 2u);
    EXPECT_EQ(FormatMessageRecord(contents.records[0]),
              "0: object 12, 07.11.2007 06:00:00, flags 0x00000000 (inputs), lon 0.00000, "
              "lat 0.00000, course 0.0, speed 0.000, text \"(FLASH) Входы: 1 0 0 1 0 \"");
    EXPECT_EQ(FormatMessageRecord(contents.records[1]),
              "105: object 12, 07.11.2007 12:00:00, flags 0x8000000C (position, last), "
              "lon 37.50000, lat 55.75000, course 123.0, speed 45.500, "
              "text \"(FLASH) Свежее PU 3D \"");
}

TEST(MessageFileReader, OddValuesStayOnOneLine) {
    // A time that is not a number, and a text with a line break, a quote and a backslash.
    const std::string record = FromHex(
        "0c000000 00000000 000000000000f87f 0000000000000000 0000000000000000 0c000000 00000000"
        "0000000000000000 0000000000000000 0000000000000000 0000000000000000 e8030000 04000000"
        "0a 22 5c 41");
    const MessageFileContents contents = ReadMessageRecords(record);
    ASSERT_EQ(contents.records.size(), 1u);
    EXPECT_EQ(FormatMessageRecord(contents.records[0]),
              "0: object 12, (time nan out of range), flags 0x0000000C (position), lon 0.00000, "
              "lat 0.00000, course 0.0, speed 0.000, text \"\\x0A\\\"\\\\A\"");
}

TEST(MessageFileReader, EmptyFileHasNoRecords) {
    const MessageFileContents contents = ReadMessageRecords("");
    EXPECT_EQ(contents.error, "");
    EXPECT_TRUE(contents.records.empty());
}

TEST(MessageFileReader, DamageIsNamedByItsOffset) {
    std::string bad_head_value = kLastPositionRecord;
    bad_head_value[72] = 0;
    std::string negative_length = kLastPositionRecord;
    negative_length[79] = static_cast<char>(0xFF);
    std::string unknown_flags = kLastPositionRecord;
    unknown_flags[32] = 0x0D;
    struct Row {
        const char* name;
        std::string bytes;
        std::size_t records;
        const char* error;
    };
    const Row rows[] = {
        {"head cut short", kInputsRecord + kLastPositionRecord.substr(0, 50), 1,
         "record at offset 105: cut short: 50 of 80 head bytes"},
        {"text cut short", kInputsRecord.substr(0, 100), 0,
         "record at offset 0: cut short: text length 25, but only 20 bytes follow the head"},
        {"head value", kInputsRecord + bad_head_value, 1,
         "record at offset 105: the word at offset 72 is 768, not 1000"},
        {"negative text length", negative_length, 0, "record at offset 0: text length -16777195"},
        {"unknown flags", unknown_flags, 0, "record at offset 0: unknown flags 0x8000000D"},
    };
    for (const Row& row : rows) {
        const MessageFileContents contents = ReadMessageRecords(row.bytes);
        EXPECT_EQ(contents.records.size(), row.records) << row.name;
        EXPECT_EQ(contents.error, row.error) << row.name;
    }
}

}  // namespace
}  // namespace korvalen
