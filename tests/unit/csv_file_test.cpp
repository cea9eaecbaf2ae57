// The CSV lines field by field, and the files' names, retries and write failures.
#include "output/csv_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode_test_support.h"
#include "platform/file.h"
#include "platform/write_fault.h"
#include "recording_message_sink.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

using testing::ReadTestFile;
using testing::RecordingMessageSink;
using testing::TempFolder;

// 55°45.123' N, 37°37.456' E at 12:34:56 on 07.11.2007, object 12: the head of the
// example lines.
MRVMessage ExampleReport() {
    MRVMessage m;
    m.ObjectID = 12;
    m.Latitude = 55.0 + 45.123 / 60.0;
    m.Longitude = 37.0 + 37.456 / 60.0;
    m.FixTimeParts = {2007, 11, 7, 12, 34, 56, 0};
    m.ReportTimeParts = m.FixTimeParts;
    m.Course = 123;
    m.Speed = 45.5;
    m.Validity = 2;
    m.FixMode = 1;
    m.Inputs = {1, 0, 0, 1, 1};
    m.Analog1 = 0.1338;
    m.Analog2 = 2.74;
    m.Analog3 = 0.0275;
    return m;
}

constexpr const char* kExampleHead = "a,5545.123,N,03737.456,E,123456,071107,00000,00012,O";

struct RecordedWaits {
    std::vector<std::chrono::milliseconds> waits;
    CsvWait Wait() {
        return [this](std::chrono::milliseconds d) { waits.push_back(d); };
    }
};

TEST(CsvLines, ExampleLines) {
    const MRVMessage m = ExampleReport();
    EXPECT_EQ(FormatCsvCLine(m), kExampleHead);
    EXPECT_EQ(FormatCsvNLine(m),
              std::string(kExampleHead) + ",123,045.500,N,3,0,10011,0.1338,2.74,2.75e-002");
}

TEST(CsvLines, HeadFields) {
    struct Row {
        const char* name;
        double latitude;
        double longitude;
        const char* expected_prefix;
    };
    const Row rows[] = {
        {"zero latitude is south, zero longitude west", 0.0, 0.0, "a,0000.000,S,00000.000,W,"},
        {"negative latitude", -5.5, 37.6243, "a,0530.000,S,03737.458,E,"},
        {"negative longitude", 55.75, -0.5, "a,5545.000,N,00030.000,W,"},
        // In double the third decimal would be 3703.661.
        {"single precision arithmetic", 37.06101, 1.0, "a,3703.660,N,00100.000,E,"},
    };
    for (const Row& row : rows) {
        MRVMessage m = ExampleReport();
        m.Latitude = row.latitude;
        m.Longitude = row.longitude;
        const std::string line = FormatCsvCLine(m);
        EXPECT_EQ(line.substr(0, std::string(row.expected_prefix).size()), row.expected_prefix)
            << row.name << ": " << line;
    }
}

TEST(CsvLines, TimeDateAndObjectFields) {
    MRVMessage m = ExampleReport();
    m.ObjectID = 1234;
    m.ReportTimeParts = {1999, 1, 2, 3, 4, 5, 0};
    m.FixTimeParts = {3000, 12, 31, 23, 59, 59, 0};
    EXPECT_EQ(FormatCsvCLine(m), "a,5545.123,N,03737.456,E,030405,020199,00000,01234,O");
    EXPECT_EQ(FormatCsvNLine(m).substr(0, 53),
              "a,5545.123,N,03737.456,E,235959,311200,00000,01234,O,");
}

TEST(CsvLines, NLineFields) {
    struct Row {
        const char* name;
        double course;
        double speed;
        int validity;
        int fix_mode;
        bool power_up;
        std::array<std::int32_t, 5> inputs;
        const char* expected_tail;
    };
    const Row rows[] = {
        {"course 359.6 rounds to 360, speed 0",
         359.6,
         0,
         2,
         1,
         false,
         {1, 0, 0, 1, 1},
         ",360,000.000,N,3,0,10011,"},
        {"outdated 2D with power-up",
         5,
         1.853,
         1,
         0,
         true,
         {0, 0, 0, 0, 0},
         ",005,001.853,O,2,1,00000,"},
        {"undetermined, inputs 2 as 0",
         0,
         0,
         0,
         2,
         false,
         {2, 1, 2, 1, 2},
         ",000,000.000,U,1,0,01010,"},
    };
    for (const Row& row : rows) {
        MRVMessage m = ExampleReport();
        m.Course = row.course;
        m.Speed = row.speed;
        m.Validity = row.validity;
        m.FixMode = row.fix_mode;
        m.PowerUp = row.power_up;
        m.Inputs = row.inputs;
        const std::string line = FormatCsvNLine(m);
        const std::string expected = std::string(kExampleHead) + row.expected_tail;
        EXPECT_EQ(line.substr(0, expected.size()), expected) << row.name;
    }
}

TEST(CsvLines, AnalogFourSignificantDigits) {
    struct Row {
        const char* name;
        double value;
        const char* expected;
    };
    const Row rows[] = {
        {"fixed, four decimals", 0.13379, "0.1338"},
        {"fixed, trailing zero removed", 2.7399, "2.74"},
        {"lowest decoded value", 0.0275, "2.75e-002"},
        {"all decimals removed keeps the point", 3.0, "3."},
        {"exponent form without decimals", 0.05, "5.e-002"},
        {"zero, as for reports without inputs", 0.0, "0."},
        {"negative fixed", -0.5, "-0.5"},
        {"negative exponent form", -0.0275, "-2.75e-002"},
        {"five integer digits use exponent form", 12345.6, "1.235e+004"},
        {"four integer digits stay fixed", 1234.6, "1235."},
        {"rounding up to a fifth digit", 9999.7, "1.e+004"},
        {"rounding up below one", 0.99996, "1."},
        {"tiny", 1e-300, "1.e-300"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FormatAnalog(row.value), row.expected) << row.name;
}

TEST(CsvFile, NamesOfTheFiles) {
    EXPECT_EQ(CsvFileName("InBox\\", 12, 'C'), "InBox\\012C.csv");
    EXPECT_EQ(CsvFileName("InBox\\", 1234, 'N'), "InBox\\1234N.csv");
    EXPECT_EQ(NumberedCsvFileName("InBox\\", 12, 'C', 1), "InBox\\012C_001.csv");
}

TEST(CsvFile, LinesAppendAcrossRuns) {
    TempFolder folder;
    RecordingMessageSink sink;
    RecordedWaits waits;
    const std::string prefix = folder.path() + "/";
    {
        File earlier;
        ASSERT_TRUE(earlier.Open(prefix + "012N.csv", OpenMode::CreateOrTruncate, Sharing::Shared));
        earlier.Write("earlier run\r\n");
    }
    std::string c_name;
    std::string n_name;
    auto c_file = OpenCsv(prefix, 12, 'C', c_name, sink, waits.Wait());
    auto n_file = OpenCsv(prefix, 12, 'N', n_name, sink, waits.Wait());
    ASSERT_TRUE(c_file && n_file);
    EXPECT_EQ(c_name, prefix + "012C.csv");

    MRVMessage m = ExampleReport();
    WriteCsvCLine(m, *c_file);
    WriteCsvNLine(m, *n_file);
    // A report without position: an N line, no C line.
    m.NoPosition = true;
    m.Validity = 0;
    m.Analog1 = m.Analog2 = m.Analog3 = 0;
    WriteCsvCLine(m, *c_file);
    WriteCsvNLine(m, *n_file);
    c_file->Close();
    n_file->Close();

    EXPECT_EQ(ReadTestFile(c_name), "a,5545.123,N,03737.456,E,123456,071107,00000,00012,O\r\n");
    EXPECT_EQ(ReadTestFile(n_name),
              "earlier run\r\n"
              "a,5545.123,N,03737.456,E,123456,071107,00000,00012,O,123,045.500,N,3,0,10011,"
              "0.1338,2.74,2.75e-002\r\n"
              "a,5545.123,N,03737.456,E,123456,071107,00000,00012,O,123,045.500,U,3,0,10011,"
              "0.,0.,0.\r\n");
    EXPECT_TRUE(waits.waits.empty());
    EXPECT_TRUE(sink.messages.empty());
}

TEST(CsvFile, LockedFileGivesTheNextFreeNumberedNameAfterTheWaits) {
    TempFolder folder;
    RecordingMessageSink sink;
    RecordedWaits waits;
    const std::string prefix = folder.path() + "/";
    File locker;
    ASSERT_TRUE(locker.Open(prefix + "012C.csv", OpenMode::AppendOrCreate, Sharing::Exclusive));
    {
        File taken;
        ASSERT_TRUE(
            taken.Open(prefix + "012C_001.csv", OpenMode::CreateOrTruncate, Sharing::Shared));
    }
    std::string name;
    auto file = OpenCsv(prefix, 12, 'C', name, sink, waits.Wait());
    ASSERT_TRUE(file);
    EXPECT_EQ(name, prefix + "012C_002.csv");
    EXPECT_EQ(waits.waits,
              std::vector<std::chrono::milliseconds>(4, std::chrono::milliseconds(500)));
    EXPECT_TRUE(sink.messages.empty());
}

TEST(CsvFile, OpenFailureNamesTheLastNameTried) {
    TempFolder folder;
    RecordingMessageSink sink;
    RecordedWaits waits;
    const std::string prefix = folder.path() + "/missing/";
    std::string name = "unchanged";
    EXPECT_EQ(OpenCsv(prefix, 7, 'N', name, sink, waits.Wait()), nullptr);
    EXPECT_EQ(name, "unchanged");
    EXPECT_EQ(waits.waits.size(), 4u);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Не удалось открыть файл на запись. Код ошибки: " +
                                         std::to_string(testing::kMissingFolderErrorCode) + ".\n" +
                                         prefix + "007N_001.csv");
}

// A full disk: the "C" line's refusal asks for the message without a period after the
// code, the "N" line's for the one with it.
TEST(CsvFile, RefusedLinesSayWhichMessageTheyGet) {
    TempFolder folder;
    const ScopedWriteFault disk_full(folder.path(), 0);
    const MRVMessage m = ExampleReport();
    const struct {
        const char* name;
        void (*write)(const MRVMessage&, OutputFile&);
        CodePeriod period;
    } rows[] = {
        {"012C.csv", WriteCsvCLine, CodePeriod::Without},
        {"012N.csv", WriteCsvNLine, CodePeriod::With},
    };
    for (const auto& row : rows) {
        OutputFile file(0);
        ASSERT_TRUE(file.Open(folder / row.name, OpenMode::AppendOrCreate));
        try {
            row.write(m, file);
            ADD_FAILURE() << row.name << ": written";
        } catch (const OutputWriteError& error) {
            EXPECT_EQ(error.period(), row.period) << row.name;
        }
        EXPECT_FALSE(file.IsOpen()) << row.name;  // the failed file lets go of its lock
    }
}

// Lines of a pass that must not stay are cut off, and only they: a file already shorter
// stays as it is, and lines another pass appended after this one closed the file are
// never taken with them.
TEST(CsvFile, CutBackTakesOnlyThePassOwnLines) {
    const std::string before = "earlier run\r\n";  // 13 bytes
    const std::string mine = "this pass\r\n";      // 11 bytes
    const std::string later = "next pass\r\n";
    struct Row {
        const char* name;
        std::string contents;
        std::int64_t end;
        CsvCutBack result;
        std::string left;
    } rows[] = {
        {"cut, end unknown", before + mine, -1, CsvCutBack::Done, before},
        {"cut, end known", before + mine, 24, CsvCutBack::Done, before},
        {"already shorter", "earlier", -1, CsvCutBack::Done, "earlier"},
        {"appended after", before + mine + later, 24, CsvCutBack::Appended, before + mine + later},
        {"cut by someone else", "earl", 24, CsvCutBack::Done, "earl"},
    };
    TempFolder folder;
    const std::string path = folder / "012N.csv";
    for (const Row& row : rows) {
        testing::WriteTestFile(path, row.contents);
        EXPECT_EQ(CutBackCsvFile({path, 13, row.end}), row.result) << row.name;
        EXPECT_EQ(ReadTestFile(path), row.left) << row.name;
    }
    EXPECT_EQ(CutBackCsvFile({folder / "missing.csv", 0}), CsvCutBack::Done);
    File held;
    ASSERT_TRUE(held.Open(path, OpenMode::OpenExisting, Sharing::Exclusive));
    int code = 0;
    EXPECT_EQ(CutBackCsvFile({path, 0}, &code), CsvCutBack::Failed);
    EXPECT_NE(code, 0);
}

}  // namespace
}  // namespace korvalen
