// Whole decoding passes over dumps: routes, summaries, IDs, failures, aborts and threads.
#include "decode/decoding_pass.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/manual_reset_event.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "decode_test_support.h"
#include "output/message_file_reader.h"
#include "platform/manual_reset_event.h"
#include "platform/text_codec.h"
#include "platform/write_fault.h"
#include "scoped_time_zone.h"
#include "support/dump_builder.h"
#include "temp_folder.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // designated initializers

namespace korvalen {
namespace {

using testing::FileNames;
using testing::ReadTestFile;
using testing::RecordingOperator;
using testing::RecordingProgress;

constexpr const char* kNow = "<now>";
const std::string kNoRoutes = "маршруты не найдены!";
const std::string kRoutesFound = "найдены маршруты объектов:";

std::string PowerOnLine(int count) {
    return "Количество включений регистратора: " + std::string(count < 10 ? "0" : "") +
           std::to_string(count);
}

// One record frame: object `id` (none: without ID) at `seconds` past midnight of 07.11.2007.
struct Rec {
    std::optional<int> id = 12;
    int seconds = 45296;
    char age = '2';        // '1' stale, '2' fresh
    char dimension = '1';  // '0' 2D, '1' 3D
    int latitude = 5575205;
    bool with_inputs = false;
};
std::string Frame(const Rec& r) {
    DumpRecord record;
    record.object_id = r.id;
    record.seconds_of_day = r.seconds;
    record.fix_age = r.age;
    record.fix_dimension = r.dimension;
    record.latitude = r.latitude;
    if (r.with_inputs) {
        record.type = "RPS";
        record.long_form = true;
        record.extension = RecordExtension("10000", 0x80, "10010", 0, 0x80, 0xFF);
    }
    return korvalen::Frame(record) + "\r\n";
}

class DecodingPassTest : public ::testing::Test {
  protected:
    DecodingPassTest() {
        std::filesystem::create_directory(folder / "InBox");
        settings.InboxDir = folder / "InBox/";
    }

    std::string WriteDump(const std::string& bytes, const std::string& name = "dump.trc") {
        const std::string path = folder / name;
        testing::WriteTestFile(path, bytes);
        return path;
    }
    std::string Inbox(const std::string& name = "") { return folder / ("InBox/" + name); }

    bool Run(const std::string& path) { return Run(path, host); }
    bool Run(const std::string& path, RecordingOperator& on) {
        RecordingProgress own_progress;
        return Run(path, on, &on == &host ? progress : own_progress);
    }
    bool Run(const std::string& path, RecordingOperator& on, RecordingProgress& shown) {
        DecodingPass pass(settings, path, on, clock);
        pass.set_abort(&abort);
        pass.set_progress(&shown);
        pass.set_csv_wait([](std::chrono::milliseconds) {});
        if (block_size)
            pass.set_read_block_size(block_size);
        const bool opened = pass.Run();
        if (opened)
            on.AddSummary(pass);
        errors = pass.error_count();
        unwritten = pass.unwritten_record_count();
        power_ons = pass.power_on_count();
        completed = pass.completed();
        return opened;
    }

    std::vector<MessageRecord> Records(const std::string& name) {
        MessageFileContents contents = ReadMessageRecords(ReadTestFile(Inbox(name)));
        EXPECT_EQ(contents.error, "") << name;
        return contents.records;
    }

    testing::ScopedTimeZone zone{"UTC0"};
    testing::TempFolder folder;
    testing::StoppedClock clock{{2007, 11, 7, 12, 34, 56, 0}, {2007, 11, 7, 12, 34, 56, 0}};
    ManualResetEvent abort;
    RecordingOperator host;
    RecordingProgress progress;
    Settings settings;
    std::size_t block_size = 0;
    int errors = -1;
    int unwritten = -1;
    int power_ons = -1;
    bool completed = false;
};

// 16 MiB of noise, and a valid dump cut in the middle of a frame: the pass completes,
// says what it found, and writes only whole records.
TEST_F(DecodingPassTest, NoiseAndTruncatedDumps) {
    std::mt19937 random(7);
    std::string noise(16 << 20, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    ASSERT_TRUE(Run(WriteDump(noise, "noise.trc")));
    EXPECT_TRUE(completed);
    EXPECT_EQ(host.log[2], kNoRoutes);

    std::string dump;
    for (int i = 0; i < 20; ++i)
        dump += Frame({.seconds = i * 10});
    dump.resize(dump.size() - 17);
    ASSERT_TRUE(Run(WriteDump(dump, "cut.trc")));
    const std::vector<std::string> names = FileNames(Inbox());
    ASSERT_EQ(names.size(), 1u);
    const MessageFileContents contents = ReadMessageRecords(ReadTestFile(Inbox(names[0])));
    EXPECT_EQ(contents.error, "");
    EXPECT_EQ(contents.records.size(), 19u);
}

TEST_F(DecodingPassTest, EmptyDump) {
    const std::string path = WriteDump("");
    ASSERT_TRUE(Run(path));
    EXPECT_EQ(host.log, (std::vector<std::string>{kNow, "В файле '" + path + "'", kNoRoutes,
                                                  PowerOnLine(0)}));
    EXPECT_EQ(progress.starts, 1);
    EXPECT_TRUE(FileNames(Inbox()).empty());  // no staging folder left either

    // A second pass separates its lines from the first one's.
    ASSERT_TRUE(Run(path));
    ASSERT_EQ(host.log.size(), 9u);
    EXPECT_EQ(host.log[3], PowerOnLine(0));
    EXPECT_EQ(host.log[4], "---");
}

TEST_F(DecodingPassTest, DumpThatCannotBeOpened) {
    const std::string path = folder / "missing.trc";
    EXPECT_FALSE(Run(path));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Анализ файла: Не удалось открыть файл.\n" + path);
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Stop);
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(progress.starts, 0);  // nothing to abort, nothing to show
}

TEST_F(DecodingPassTest, RoutesSummaryAndMessageFiles) {
    const std::string path =
        WriteDump(ReplyHeader(0) + "RESET\r\n" + Frame({.id = 12, .seconds = 1000}) +
                  Frame({.id = 42, .seconds = 1100, .with_inputs = true}) + "garbage<<>>" +
                  Frame({.id = 42, .seconds = 1200}) + Frame({.id = 12, .seconds = 90000}));
    ASSERT_TRUE(Run(path));
    EXPECT_EQ(host.log, (std::vector<std::string>{
                            kNow,
                            "В файле '" + path + "'",
                            kRoutesFound,
                            "0042 (2 точки на временном интервале: 07.11.2007 - 07.11.2007)",
                            "0012 (2 точки на временном интервале: 07.11.2007 - 07.11.2007)",
                            PowerOnLine(1),
                        }));
    EXPECT_EQ(errors, 0);
    EXPECT_TRUE(host.messages.empty());
    ASSERT_EQ(FileNames(Inbox()), (std::vector<std::string>{"07123456.012", "07123456.042"}));

    const auto object12 = Records("07123456.012");
    ASSERT_EQ(object12.size(), 2u);
    EXPECT_EQ(object12[0].head.ObjectID, 12);
    EXPECT_EQ(object12[0].head.Flags, 12u);
    EXPECT_EQ(Cp1251ToUtf8(object12[0].text), "(FLASH) Свежее PU 3D ");
    EXPECT_EQ(object12[1].head.Flags, 0x8000000Cu);
    EXPECT_EQ(Cp1251ToUtf8(object12[1].text), "(FLASH) Свежее 3D ");
    // 90000 seconds is 01:00 of the next day.
    EXPECT_EQ(object12[1].head.ReportTime, ToOleDate({2007, 11, 8, 1, 0, 0, 0}));

    const auto object42 = Records("07123456.042");
    ASSERT_EQ(object42.size(), 3u);  // inputs record, position record, position record
    EXPECT_EQ(Cp1251ToUtf8(object42[0].text), "(FLASH) Входы: 1 0 0 1 0 ");
    EXPECT_EQ(object42[0].head.Flags, 0u);
    EXPECT_EQ(object42[1].head.Flags, 12u);
    EXPECT_EQ(object42[2].head.Flags, 0x8000000Cu);
    EXPECT_EQ(object42[2].head.ObjectID, 42);
}

TEST_F(DecodingPassTest, RecordsWithoutId) {
    const std::string no_id =
        Frame({.id = std::nullopt, .seconds = 1000}) + Frame({.id = std::nullopt, .seconds = 1100});
    const std::string dump = no_id + Frame({.id = 42, .seconds = 1200}) + no_id;
    const struct {
        const char* name;
        bool yes;
        std::string id;
        std::vector<std::string> files;
        std::string statistics;  // the line of the first route, just above the power-ons
    } cases[] = {
        {"No skips them",
         false,
         "",
         {"07123456.042"},
         "0042 (1 точка на временном интервале: 07.11.2007 - 07.11.2007)"},
        {"Yes with 0042 joins them to object 42",
         true,
         "0042",
         {"07123456.042"},
         "0042 (5 точек на временном интервале: 07.11.2007 - 07.11.2007)"},
        {"Yes with 0007 makes a route of their own",
         true,
         "0007",
         {"07123456.007", "07123456.042"},
         "0007 (4 точки на временном интервале: 07.11.2007 - 07.11.2007)"},
        {"an ID that is not four characters long drops them",
         true,
         "12",
         {"07123456.042"},
         "0042 (1 точка на временном интервале: 07.11.2007 - 07.11.2007)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& name : FileNames(Inbox()))
            std::filesystem::remove(Inbox(name));
        RecordingOperator asked;
        asked.answer_yes = c.yes;
        asked.prompt_text = c.id;
        ASSERT_TRUE(Run(WriteDump(dump), asked));
        ASSERT_EQ(asked.questions.size(), 1u);
        EXPECT_EQ(asked.questions[0],
                  "Присутствуют команды без ID! Использовать для них ID? (Нет - пропустить все "
                  "команды)");
        EXPECT_EQ(asked.prompts, c.yes ? 1 : 0);
        EXPECT_EQ(FileNames(Inbox()), c.files);
        ASSERT_GE(asked.log.size(), 4u);
        EXPECT_EQ(asked.log[2], kRoutesFound);
        EXPECT_EQ(asked.log.back(), PowerOnLine(0));
        EXPECT_EQ(asked.log[asked.log.size() - 2], c.statistics);
    }
}

TEST_F(DecodingPassTest, PowerOnCounting) {
    const struct {
        const char* name;
        std::string dump;
        bool reset_alarm;
        int count;
    } cases[] = {
        {"one marker", "RESET" + Frame({}), true, 1},
        {"two markers before the record count once", "RESET\r\nRESET" + Frame({}), true, 1},
        {"stale records only", "RESET" + Frame({.age = '1'}) + Frame({.age = '1'}), true, 0},
        {"the first fresh record after stale ones", "RESET" + Frame({.age = '1'}) + Frame({}), true,
         1},
        {"a 2D record is not usable without Use2D", "RESET" + Frame({.dimension = '0'}), true, 0},
        {"marker, record, marker, record", "RESET" + Frame({}) + "RESET" + Frame({}), true, 2},
        {"marker inside a frame", ">GPSRESET<" + Frame({}), true, 1},
        {"marker split by frame delimiters", "RES<>ET" + Frame({}), true, 0},
        {"alarm off", "RESET" + Frame({}), false, 0},
    };
    for (const auto& c : cases) {
        settings.ResetAlarm = c.reset_alarm;
        RecordingOperator fresh;
        ASSERT_TRUE(Run(WriteDump(c.dump), fresh)) << c.name;
        EXPECT_EQ(power_ons, c.count) << c.name;
        EXPECT_EQ(fresh.log.back(), PowerOnLine(c.count)) << c.name;
    }
}

// Without Use2D a 2D record still reaches its route and the outputs that take every
// record, but it has no position: no statistics line, an empty message file.
TEST_F(DecodingPassTest, RecordsWithoutUsablePosition) {
    settings.WriteCsvN = true;
    ASSERT_TRUE(Run(WriteDump(Frame({.dimension = '0'}) + Frame({.age = '7'}))));
    EXPECT_EQ(host.log[2], kNoRoutes);
    EXPECT_EQ(FileNames(Inbox()), (std::vector<std::string>{"012N.csv", "07123456.012"}));
    EXPECT_EQ(ReadTestFile(Inbox("07123456.012")), "");
    const std::string csv = ReadTestFile(Inbox("012N.csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2);
}

TEST_F(DecodingPassTest, GlobalIdNamesFilesInConsecutiveSeconds) {
    settings.UseGlobalID = true;
    settings.GlobalID = 9999;
    ASSERT_TRUE(
        Run(WriteDump(Frame({.id = 1}) + Frame({.id = 2}) + Frame({.id = 3}) + Frame({.id = 2}))));
    ASSERT_EQ(FileNames(Inbox()),
              (std::vector<std::string>{"07123456.9999", "07123457.9999", "07123458.9999"}));
    const int ids[] = {1, 2, 3};
    const std::size_t counts[] = {1, 2, 1};
    const char* names[] = {"07123456.9999", "07123457.9999", "07123458.9999"};
    for (int i = 0; i < 3; ++i) {
        const auto records = Records(names[i]);
        ASSERT_EQ(records.size(), counts[i]) << names[i];
        for (const auto& r : records)
            EXPECT_EQ(r.head.ObjectID, ids[i]) << names[i];
    }
}

// An InBox on a device that refuses to grow the files: the file's first failure is shown,
// every failed record counted, those at the end of the pass too, and no file of the pass
// reaches the InBox, so that the dump can be decoded again without a record twice. An
// InBox that cannot be written at all counts the file that could not be made.
TEST_F(DecodingPassTest, WriteFailuresAreCountedAndNothingIsDelivered) {
    std::string dump;
    for (int i = 0; i < 3000; ++i)
        dump += Frame({.seconds = i * 10, .with_inputs = true});
    const std::string path = WriteDump(dump);

    bool opened = false;
    {
        const ScopedWriteFault disk_full(Inbox(), 16 * 1024);
        opened = Run(path);
    }

    ASSERT_TRUE(opened);
    EXPECT_GT(errors, 100);  // the records after the first failure fail as well
    EXPECT_EQ(unwritten, 3000);
    ASSERT_EQ(host.messages.size(), 1u);  // one file, one message: not one per record
    EXPECT_EQ(host.messages[0].text.rfind("Не удалось записать информацию в файл. Код ошибки: ", 0),
              0u);
    EXPECT_EQ(host.log.back(), "В файле обнаружены ошибки (" + std::to_string(errors) + ")");
    EXPECT_TRUE(FileNames(Inbox()).empty());

    settings.InboxDir = folder / "InBox-is-a-file/";
    testing::WriteTestFile(folder / "InBox-is-a-file", "");
    RecordingOperator other;
    ASSERT_TRUE(Run(path, other));
    EXPECT_EQ(unwritten, 3000);
    EXPECT_EQ(errors, 1);  // a failure, not the success it once was shown as
    EXPECT_EQ(other.log.back(), "В файле обнаружены ошибки (1)");
    EXPECT_EQ(other.messages.size(), 1u);  // the message file that could not be opened
}

TEST_F(DecodingPassTest, AbortEndsReadingButClosesEveryRoute) {
    GeneratedDumpOptions options;
    options.size = 512 * 1024;
    const std::string path = WriteDump(GenerateDump(options));
    abort.Set();  // left over from an earlier pass: reset at the start
    progress.on_position = [&](int position) {
        if (position == 100)
            abort.Set();
    };
    ASSERT_TRUE(Run(path));
    EXPECT_FALSE(completed);
    EXPECT_EQ(host.log[1], "В файле '" + path + "' (прервано)");
    EXPECT_LT(progress.positions.size(), 110u);
    const auto files = FileNames(Inbox());
    ASSERT_EQ(files.size(), 4u);
    for (const auto& name : files) {
        // Closed: another exclusive opener gets it, and its last record is marked.
        {
            File file;
            EXPECT_TRUE(file.Open(Inbox(name), OpenMode::OpenExisting, Sharing::Exclusive)) << name;
        }
        const auto records = Records(name);
        ASSERT_FALSE(records.empty()) << name;
        EXPECT_NE(records.back().head.Flags & 0x80000000u, 0u) << name;
    }
}

// The window's abort button, on the window's thread, stops a pass on a thread of its own.
TEST_F(DecodingPassTest, AbortFromAnotherThread) {
    GeneratedDumpOptions options;
    options.size = 256 * 1024;
    const std::string path = WriteDump(GenerateDump(options));
    ManualResetEvent reading;
    progress.on_position = [&](int position) {
        if (position == 10) {
            reading.Set();
            abort.WaitFor(std::chrono::seconds(30));
        }
    };
    std::thread pass([&] { Run(path); });
    ASSERT_TRUE(reading.WaitFor(std::chrono::seconds(30)));
    abort.Set();
    pass.join();
    EXPECT_EQ(host.log[1], "В файле '" + path + "' (прервано)");
}

TEST_F(DecodingPassTest, PassesOnTwoThreads) {
    GeneratedDumpOptions options;
    options.size = 256 * 1024;
    const std::string path = WriteDump(GenerateDump(options));
    std::filesystem::create_directory(folder / "InBox2");
    Settings other = settings;
    other.InboxDir = folder / "InBox2/";
    RecordingOperator host1;
    RecordingOperator host2;
    const auto decode = [&](const Settings& chosen, RecordingOperator& on) {
        DecodingPass pass(chosen, path, on, clock);
        if (pass.Run())
            on.AddSummary(pass);
    };
    std::thread t1([&] { decode(settings, host1); });
    std::thread t2([&] { decode(other, host2); });
    t1.join();
    t2.join();
    EXPECT_EQ(host1.log, host2.log);
    EXPECT_EQ(host1.log.size(), 8u);  // 4 objects
    EXPECT_EQ(FileNames(Inbox()).size(), 4u);
    EXPECT_EQ(FileNames(folder / "InBox2").size(), 4u);
}

// Reading in blocks gives exactly what reading byte by byte gives.
TEST_F(DecodingPassTest, BlockSizeChangesNothing) {
    GeneratedDumpOptions options;
    options.size = 300 * 1024;
    options.records_without_id = true;
    const std::string path = WriteDump(GenerateDump(options));
    settings.WriteCsvC = settings.WriteCsvN = true;
    host.answer_yes = true;
    host.prompt_text = "0012";
    ASSERT_TRUE(Run(path));
    const std::vector<std::string> names = FileNames(Inbox());
    ASSERT_EQ(names.size(), 12u);

    std::filesystem::create_directory(folder / "InBox1");
    settings.InboxDir = folder / "InBox1/";
    block_size = 1;
    RecordingOperator byte_wise;
    byte_wise.answer_yes = true;
    byte_wise.prompt_text = "0012";
    RecordingProgress byte_wise_progress;
    ASSERT_TRUE(Run(path, byte_wise, byte_wise_progress));
    EXPECT_EQ(byte_wise.log, host.log);
    EXPECT_EQ(byte_wise_progress.positions, progress.positions);
    ASSERT_EQ(FileNames(folder / "InBox1"), names);
    for (const auto& name : names) {
        EXPECT_EQ(ReadTestFile(folder / ("InBox1/" + name)), ReadTestFile(Inbox(name))) << name;
    }
}

// The sample dump under tests/data is the generator's, byte for byte: anyone can make it
// again, and the generator cannot drift unnoticed.
TEST(SampleDump, IsWhatTheGeneratorMakes) {
    GeneratedDumpOptions options;
    options.size = 6000;
    options.objects = 3;
    options.seed = 7;
    EXPECT_EQ(ReadTestFile(std::string(KORVALEN_TEST_DATA_DIR) + "/sample.trc"),
              GenerateDump(options));
}

}  // namespace
}  // namespace korvalen
