// Message files byte for byte: description texts, records, names, opening and write failures.
#include "output/message_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode_test_support.h"
#include "hex_bytes.h"
#include "platform/file.h"
#include "platform/write_fault.h"
#include "recording_message_sink.h"
#include "temp_folder.h"
#include "test_clocks.h"

namespace korvalen {
namespace {

using testing::FromHex;
using testing::ReadTestFile;
using testing::RecordingMessageSink;
using testing::StoppedClock;
using testing::TempFolder;

// A fresh 3D report with a power-on mark and inputs 1 0 0 1 0; every double is exactly
// representable, so its bytes below are written out by hand.
MRVMessage SampleReport() {
    MRVMessage m;
    m.ObjectID = 12;
    m.ReportTime = 39393.5;      // 00 00 00 00 30 3c e3 40
    m.FixTime = 39393.25;        // 00 00 00 00 28 3c e3 40
    m.DecodedUtc = 40000.0;      // 00 00 00 00 00 88 e3 40
    m.DecodedLocal = 40000.125;  // 00 00 00 00 04 88 e3 40
    m.Longitude = 37.5;          // 00 00 00 00 00 c0 42 40
    m.Latitude = 55.75;          // 00 00 00 00 00 e0 4b 40
    m.Course = 123.0;            // 00 00 00 00 00 c0 5e 40
    m.Speed = 45.5;              // 00 00 00 00 00 c0 46 40
    m.Validity = 2;
    m.FixMode = 1;
    m.PowerUp = true;
    m.HasInputs = true;
    m.Inputs = {1, 0, 0, 1, 0};
    return m;
}

// "(FLASH) Входы: 1 0 0 1 0 ", 25 bytes.
constexpr const char* kInputsTextHex =
    "28 46 4c 41 53 48 29 20 | c2 f5 ee e4 fb 3a 20 | 31 20 30 20 30 20 31 20 30 20";
// "(FLASH) Свежее PU 3D ", 21 bytes.
constexpr const char* kFreshPu3dTextHex =
    "28 46 4c 41 53 48 29 20 | d1 e2 e5 e6 e5 e5 20 | 50 55 20 | 33 44 20";

std::string InputsRecordHex(const char* flags) {
    return std::string(
               "0c000000 | 00000000 | 00000000283ce340 | 000000000088e340 |"
               "000000000488e340 |") +
           flags +
           "| 00000000 | 0000000000000000 | 0000000000000000 | 0000000000000000 |"
           "0000000000000000 | e8030000 | 19000000 |" +
           kInputsTextHex;
}

std::string PositionRecordHex(const char* flags) {
    return std::string(
               "0c000000 | 00000000 | 00000000303ce340 | 000000000088e340 |"
               "000000000488e340 |") +
           flags +
           "| 00000000 | 0000000000c04240 | 0000000000e04b40 | 0000000000c05e40 |"
           "0000000000c04640 | e8030000 | 15000000 |" +
           kFreshPu3dTextHex;
}

TEST(MessageTexts, PositionTextBytes) {
    struct Row {
        const char* name;
        int validity;
        int fix_mode;
        bool power_up;
        const char* hex;
    };
    const Row rows[] = {
        {"fresh PU 3D, 21 bytes", 2, 1, true, kFreshPu3dTextHex},
        {"outdated PU 3D, 25 bytes", 1, 1, true,
         "28464c4153482920 | d3 f1 f2 e0 f0 e5 e2 f8 e5 e5 20 | 50 55 20 | 33 44 20"},
        {"fresh 2D, 18 bytes", 2, 0, false, "28464c4153482920 | d1 e2 e5 e6 e5 e5 20 | 32 44 20"},
        {"undetermined validity and fix", 0, 2, false, "28464c4153482920"},
    };
    for (const Row& row : rows) {
        MRVMessage m;
        m.Validity = row.validity;
        m.FixMode = row.fix_mode;
        m.PowerUp = row.power_up;
        EXPECT_EQ(PositionText(m), FromHex(row.hex)) << row.name;
    }
}

TEST(MessageTexts, InputsTextWritesUndeterminedAsZero) {
    MRVMessage m;
    m.Inputs = {1, 0, 0, 1, 0};
    EXPECT_EQ(InputsText(m), FromHex(kInputsTextHex));
    m.Inputs = {2, 1, 2, 2, 1};
    EXPECT_EQ(InputsText(m),
              FromHex("28464c4153482920 c2f5eee4fb3a20 30 20 31 20 30 20 30 20 31 20"));
}

// One object's reports written as the route writes them: each with `last` false, the
// final one with `last` true.
TEST(MessageFile, RunsByteForByte) {
    struct Report {
        bool has_inputs;
        bool no_position;
    };
    struct Row {
        const char* name;
        std::vector<Report> reports;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"inputs before position; last mark on the last inputs record without position",
         {{true, false}, {true, true}},
         InputsRecordHex("00000000") + PositionRecordHex("0c000000") + InputsRecordHex("00000080")},
        {"single report: last mark on its position record",
         {{true, false}},
         InputsRecordHex("00000000") + PositionRecordHex("0c000080")},
        {"no inputs and no position writes nothing, so no last mark",
         {{false, false}, {false, true}},
         PositionRecordHex("0c000000")},
    };
    for (const Row& row : rows) {
        TempFolder folder;
        RecordingMessageSink sink;
        const std::string path = folder / "07143005.012";
        auto file = OpenMessageFile(path, sink);
        ASSERT_TRUE(file);
        for (std::size_t i = 0; i < row.reports.size(); ++i) {
            MRVMessage m = SampleReport();
            m.HasInputs = row.reports[i].has_inputs;
            m.NoPosition = row.reports[i].no_position;
            const bool last = i + 1 == row.reports.size();
            EXPECT_NO_THROW(WriteMessageRecords(m, last, *file)) << row.name;
        }
        file->Close();
        EXPECT_EQ(ReadTestFile(path), FromHex(row.expected)) << row.name;
        EXPECT_TRUE(sink.messages.empty()) << row.name;
    }
}

TEST(MessageFile, OpenFailureIsShownAndGivesNoFile) {
    TempFolder folder;
    RecordingMessageSink sink;
    const std::string path = folder / "missing/07143005.012";
    EXPECT_EQ(OpenMessageFile(path, sink), nullptr);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Не удалось открыть файл на запись. Код ошибки: " +
                                         std::to_string(testing::kMissingFolderErrorCode) + ".\n" +
                                         path);
    EXPECT_EQ(sink.messages[0].caption, "Korvalen");
}

TEST(MessageFile, OpenDoesNotTruncateAFileHeldByAnother) {
    TempFolder folder;
    RecordingMessageSink sink;
    const std::string path = folder / "07143005.012";
    File holder;
    ASSERT_TRUE(holder.Open(path, OpenMode::CreateOrTruncate, Sharing::Exclusive));
    holder.Write("kept");
    EXPECT_EQ(OpenMessageFile(path, sink), nullptr);
    EXPECT_EQ(sink.messages.size(), 1u);
    holder.Close();
    EXPECT_EQ(ReadTestFile(path), "kept");
}

// A full InBox device: a refused record comes out with the message its step asks for (the
// inputs record's with a period after the code, the position record's without), a
// failed inputs record leaves the position record unwritten, and the file is closed.
TEST(MessageFile, RefusedRecordsSayWhichMessageTheyGet) {
    TempFolder folder;
    const ScopedWriteFault disk_full(folder.path(), 0);
    const struct {
        const char* name;
        bool has_inputs;
        CodePeriod period;
    } rows[] = {
        {"inputs record", true, CodePeriod::With},
        {"position record", false, CodePeriod::Without},
    };
    for (const auto& row : rows) {
        OutputFile file(0);
        ASSERT_TRUE(file.Open(folder / "07143005.012", OpenMode::AppendOrCreate));
        MRVMessage m = SampleReport();
        m.HasInputs = row.has_inputs;
        try {
            WriteMessageRecords(m, false, file);
            ADD_FAILURE() << row.name << ": written";
        } catch (const OutputWriteError& error) {
            EXPECT_EQ(error.period(), row.period) << row.name;
            EXPECT_EQ(error.code(), DiskFullErrorCode()) << row.name;
        }
        EXPECT_FALSE(file.IsOpen()) << row.name;
        // Closed: every later record fails again.
        EXPECT_THROW(WriteMessageRecords(m, true, file), FileError) << row.name;
    }
}

TEST(MessageFile, NextNameMovesOnOneSecond) {
    const struct {
        const char* name;
        const char* expected;
    } rows[] = {
        {"InBox\\07143005.012", "InBox\\07143006.012"},
        {"InBox/07145959.9999", "InBox/07150000.9999"},
        {"31235959.012", "32000000.012"},
        {"99235959.012", ""},  // no day after 99
        {"InBox\\Korvalen.trc", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(NextMessageFileName(row.name), row.expected) << row.name;
}

TEST(MessageFileName, ExistingNamesMoveOnBySecondsWithoutWrappingTheDay) {
    struct Row {
        const char* name;
        CalendarTime now;
        std::vector<std::string> existing;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"free name", {2007, 11, 7, 14, 30, 5, 0}, {}, "07143005.012"},
        {"next seconds",
         {2007, 11, 7, 14, 30, 5, 0},
         {"07143005.012", "07143006.012"},
         "07143007.012"},
        {"carry into the hour", {2007, 11, 7, 14, 59, 59, 0}, {"07145959.012"}, "07150000.012"},
        {"day 32 after the 31st", {2007, 12, 31, 23, 59, 59, 0}, {"31235959.012"}, "32000000.012"},
        {"other number does not clash",
         {2007, 11, 7, 14, 30, 5, 0},
         {"07143005.013"},
         "07143005.012"},
        {"midnight", {2007, 11, 1, 0, 0, 0, 0}, {}, "01000000.012"},
    };
    for (const Row& row : rows) {
        TempFolder folder;
        for (const std::string& name : row.existing) {
            File f;
            ASSERT_TRUE(f.Open(folder / name, OpenMode::CreateOrTruncate, Sharing::Shared));
        }
        const StoppedClock clock(row.now);
        EXPECT_EQ(MakeMessageFileName(folder.path() + "/", 12, clock), folder / row.expected)
            << row.name;
        // Made elsewhere first, the name is free in both folders.
        std::filesystem::create_directory(folder / "staging");
        EXPECT_EQ(MakeMessageFileName(folder / "staging/", 12, clock, folder.path() + "/"),
                  folder / ("staging/" + std::string(row.expected)))
            << row.name;
    }
    // A number above 999 prints all its digits.
    const StoppedClock clock({2007, 11, 7, 14, 30, 5, 0});
    EXPECT_EQ(MakeMessageFileName("InBox\\", 9999, clock), "InBox\\07143005.9999");
}

}  // namespace
}  // namespace korvalen
