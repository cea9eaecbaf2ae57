// The job owner: a dump's way into the InBox as the window shows it, what it does when the
// files cannot be delivered, and every state a crash can leave, finished at the next start.
#include "worker/decode_jobs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "decode_test_support.h"
#include "inbox_records.h"
#include "journal_jobs.h"
#include "output/staged_delivery.h"
#include "recording_road.h"
#include "scoped_time_zone.h"
#include "support/dump_builder.h"
#include "temp_folder.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"  // designated initializers

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using testing::FileNames;
using testing::InboxRecords;
using testing::ReadTestFile;
using testing::RecordingRoad;
using testing::WriteTestFile;

class DecodeJobsTest : public ::testing::Test {
  protected:
    DecodeJobsTest() {
        ApplyDefaults(settings, folder.path());
        settings.InFile = folder / "Data/Korvalen.trc";
        settings.InboxDir = folder / "InBox/";
        settings.WriteCsvN = true;
        std::filesystem::create_directories(folder / "Data");
        GeneratedDumpOptions options;
        options.size = 20000;
        options.objects = 3;
        dump = GenerateDump(options);
        WriteTestFile(settings.InFile, dump);
    }
    // The InBox and CSV files that decoding the dump once gives, for comparison.
    std::vector<testing::InboxRecord> Reference() {
        Settings once = settings;
        once.InboxDir = folder / "reference/";
        testing::RecordingOperator quiet;
        DecodingPass pass(once, settings.InFile, quiet);
        EXPECT_TRUE(pass.Run());
        return InboxRecords(folder / "reference");
    }
    std::string Csv(const std::string& folder_name) {
        std::string all;
        for (const std::string& name : FileNames(folder / folder_name)) {
            if (name.find(".csv") != std::string::npos)
                all += ReadTestFile(folder / (folder_name + "/" + name));
        }
        return all;
    }

    testing::ScopedTimeZone zone{"UTC0"};
    testing::TempFolder folder;
    Settings settings;
    std::string dump;
    RecordingRoad host;
};

// A job tells its pass as it goes: started once the dump is open, the progress from a
// range of its own, the progress given back, ended; the files are in the InBox, the
// journal is empty. A dump that cannot be opened shows its message and ends unopened.
TEST_F(DecodeJobsTest, AFileDecodedTellsItsPass) {
    {
        DecodeJobs jobs(folder / "Data/", settings, host, host);
        jobs.DecodeFile(settings.InFile);
        jobs.DecodeFile(folder / "missing.trc");
        ASSERT_TRUE(jobs.WaitUntilIdle(30s));
        EXPECT_TRUE(testing::OwnJobs(jobs.journal()).empty());
        EXPECT_FALSE(jobs.work().IsBusy());
        EXPECT_EQ(jobs.work().progress.mask(), 0u);
    }
    std::vector<std::string> events = host.events();
    EXPECT_EQ(std::erase(events, "pass ended unopened"), 1u);
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 2),
              (std::vector<std::string>{"pass started", "range 20"}));
    EXPECT_EQ(std::vector<std::string>(events.end() - 2, events.end()),
              (std::vector<std::string>{"position 0", "pass ended"}));
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text,
              "Анализ файла: Не удалось открыть файл.\n" + folder / "missing.trc");
    EXPECT_EQ(InboxRecords(folder / "InBox"), Reference());
    EXPECT_EQ(FileNames(folder / "Data/Archive").size(),
              0u);  // a file of the user's is no transfer
}

// What fails in the job's thread, even the listener as it hears the end, ends the job
// with the count and the claim given back and the files closed, not the program.
TEST_F(DecodeJobsTest, AListenerThatFailsEndsTheJobCleanly) {
    class FailingRoad : public RecordingRoad {
      public:
        void ProgressMoved(const ProgressStep& step) override {
            if (!step.range && step.position == 0)
                throw std::runtime_error("progress given back");
        }
        void PassEnded(const PassEnd&) override { throw std::bad_alloc(); }
    } failing;
    DecodeJobs jobs(folder / "Data/", settings, failing, failing);
    jobs.DecodeFile(settings.InFile);
    ASSERT_TRUE(jobs.WaitUntilIdle(30s));
    EXPECT_EQ(jobs.work().decoding_pass_count.load(), 0);
    EXPECT_EQ(jobs.work().progress.mask(), 0u);
    EXPECT_EQ(InboxRecords(folder / "InBox"), Reference());
}

// An InBox that cannot be written: the summary counts the files, a line says the dump
// waits, nothing is delivered; once the InBox is back,
// the operator decodes the dump again, which delivers every record once and leaves
// nothing waiting to deliver them a second time.
TEST_F(DecodeJobsTest, AnUndeliveredDumpWaitsForTheOperator) {
    settings.WriteCsvN = false;  // a CSV file that cannot be opened waits two seconds
    WriteTestFile(folder / "InBox", "a file where the folder should be");
    DecodeJobs jobs(folder / "Data/", settings, host, host);
    jobs.DecodeFile(settings.InFile);
    ASSERT_TRUE(jobs.WaitUntilIdle(30s));
    const auto log = host.log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0].rfind("Файлы не доставлены в InBox: '" + settings.InFile + "'", 0), 0u);
    EXPECT_NE(std::find(log.begin(), log.end(), "В файле обнаружены ошибки (3)"), log.end());
    ASSERT_EQ(testing::OwnJobs(jobs.journal()).size(), 1u);
    EXPECT_EQ(testing::OwnJobs(jobs.journal())[0].state, JobState::Pending);
    EXPECT_EQ(jobs.PendingCount(), 1);

    std::filesystem::remove(folder / "InBox");
    jobs.DecodeFile(settings.InFile);
    ASSERT_TRUE(jobs.WaitUntilIdle(30s));
    EXPECT_TRUE(testing::OwnJobs(jobs.journal()).empty());
    EXPECT_EQ(InboxRecords(folder / "InBox"), Reference());
    EXPECT_EQ(jobs.DecodePending(), 0);
}

// Every state the journal can be left in by a program that ended at any moment, made by
// hand, and what the next start does with it: the InBox then holds every record of the
// dump once, each message file whole, the CSV files each line once, no staging folder is
// left and the journal is empty.
TEST_F(DecodeJobsTest, EveryStateLeftByACrashIsFinishedAtTheStart) {
    const std::vector<testing::InboxRecord> reference = Reference();
    const std::string reference_csv = Csv("reference");
    std::string first_csv;  // the CSV file that a pass cut short had grown
    for (const std::string& name : FileNames(folder / "reference")) {
        if (first_csv.empty() && name.find(".csv") != std::string::npos)
            first_csv = name;
    }
    ASSERT_FALSE(first_csv.empty());
    const std::string first_csv_lines = ReadTestFile(folder / ("reference/" + first_csv));
    const std::string half_csv = first_csv_lines.substr(0, first_csv_lines.size() / 2);
    struct Row {
        const char* name;
        JobState state;
        bool staged;           // a staging folder with the files of the pass
        bool staged_complete;  // ... all of them, whole
        bool csv_grown;        // the CSV file holds some lines of the pass
        const char* archived;  // the archive's name of the dump afterwards
    };
    const Row rows[] = {
        {"capture cut by the end", JobState::Capturing, false, false, false, "-cut.trc"},
        {"pending, pass not begun", JobState::Pending, false, false, false, "-ND.trc"},
        {"pending, pass half done", JobState::Pending, true, false, true, "-ND.trc"},
        {"committed, no file moved", JobState::Committed, true, true, false, ""},
        {"committed, every file moved", JobState::Committed, false, false, false, ""},
        {"committed, the folder gone with its last move", JobState::Committed, false, false, false,
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(folder / "InBox");
        std::filesystem::remove_all(folder / "Data");
        std::filesystem::create_directories(folder / "Data");
        std::filesystem::create_directories(folder / "InBox");
        WriteTestFile(settings.InFile, dump);

        RoadJob job;
        job.id = "20261209-171052-0a1b2c3d";
        job.owner = 1;
        job.state = row.state;
        job.kind = DumpKind::NewData;
        job.read_at = "20261209-171052";
        job.dump = settings.InFile;
        const std::string staging = StagingFolderFor(settings.InboxDir, job.id);
        if (row.staged || row.state == JobState::Committed) {
            job.staging = staging;
            job.inbox = settings.InboxDir;
        }
        if (row.staged) {
            std::filesystem::create_directories(staging);
            for (const std::string& name : FileNames(folder / "reference")) {
                if (name.find(".csv") != std::string::npos)
                    continue;
                const std::string bytes = ReadTestFile(folder / ("reference/" + name));
                WriteTestFile(staging + name,
                              row.staged_complete ? bytes : bytes.substr(0, bytes.size() / 3));
            }
        }
        if (row.state == JobState::Committed) {
            for (const std::string& name : FileNames(folder / "reference")) {
                if (name.find(".csv") == std::string::npos) {
                    job.files.push_back({name, static_cast<std::int64_t>(std::filesystem::file_size(
                                                   folder / ("reference/" + name)))});
                }
            }
            if (row.name == std::string("committed, every file moved")) {
                std::filesystem::create_directories(staging);
                WriteTestFile(staging + "pass.lock", "");  // the folder not yet removed
            }
            // The CSV lines were all written before the commit.
            for (const std::string& name : FileNames(folder / "reference")) {
                if (name.find(".csv") != std::string::npos)
                    WriteTestFile(folder / ("InBox/" + name),
                                  ReadTestFile(folder / ("reference/" + name)));
            }
            if (!row.staged) {  // and the message files had moved too
                for (const std::string& name : FileNames(folder / "reference"))
                    WriteTestFile(folder / ("InBox/" + name),
                                  ReadTestFile(folder / ("reference/" + name)));
            }
        }
        if (row.csv_grown) {
            const std::string earlier = "earlier run\r\n";
            WriteTestFile(folder / ("InBox/" + first_csv), earlier + half_csv);
            job.csv.push_back(
                {folder / ("InBox/" + first_csv), static_cast<std::int64_t>(earlier.size())});
        }
        {
            RoadJournal before(folder / "Data/");
            ASSERT_EQ(before.Open(), 0);
            ASSERT_EQ(before.Add(job), 0);
        }  // the program ends

        RecordingRoad after;
        {
            DecodeJobs jobs(folder / "Data/", settings, after, after);
            jobs.Recover();
            ASSERT_TRUE(jobs.WaitUntilIdle(30s));
            EXPECT_TRUE(testing::OwnJobs(jobs.journal()).empty());
        }
        std::vector<std::string> problems;
        EXPECT_EQ(InboxRecords(folder / "InBox", &problems), reference);
        EXPECT_TRUE(problems.empty()) << problems.front();
        const std::string csv = Csv("InBox");
        EXPECT_EQ(csv, (row.csv_grown ? "earlier run\r\n" : "") + reference_csv);
        EXPECT_FALSE(std::filesystem::exists(folder / "InBox/Korvalen.staging"));
        const auto archived = FileNames(folder / "Data/Archive");
        if (*row.archived) {
            ASSERT_EQ(archived.size(), 1u);
            EXPECT_EQ(archived[0], "20261209-171052" + std::string(row.archived));
        } else {
            EXPECT_TRUE(archived.empty());
        }
        // The log list says what was done, above the pass's summary.
        const auto log = after.log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log[0].rfind("Восстановление: ", 0), 0u) << log[0];
    }
}

// A dump that another running program has not delivered yet is its own: this one leaves
// it, and takes it over only once that program has ended.
TEST_F(DecodeJobsTest, AnotherProgramsJobWaitsUntilItEnds) {
    auto other = std::make_unique<RoadJournal>(folder / "Data/");
    ASSERT_EQ(other->Open(), 0);
    RoadJob job;
    job.id = "theirs";
    job.kind = DumpKind::AllData;
    job.read_at = "20261209-171052";
    job.dump = settings.InFile;
    ASSERT_EQ(other->Add(job), 0);
    DecodeJobs jobs(folder / "Data/", settings, host, host);
    jobs.Recover();
    ASSERT_TRUE(jobs.WaitUntilIdle(30s));
    EXPECT_TRUE(FileNames(folder / "InBox").empty());
    other.reset();
    EXPECT_EQ(jobs.DecodePending(), 1);
    ASSERT_TRUE(jobs.WaitUntilIdle(30s));
    EXPECT_EQ(InboxRecords(folder / "InBox"), Reference());
}

}  // namespace
}  // namespace korvalen
