// The road's records on the disk: the journal's text and sessions, the archive, the read log.
#include "worker/road_journal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "decode_test_support.h"
#include "platform/text_codec.h"
#include "temp_folder.h"
#include "test_clocks.h"
#include "worker/dump_archive.h"
#include "worker/read_log.h"

namespace korvalen {
namespace {

using testing::FileNames;
using testing::ReadTestFile;
using testing::TempFolder;
using testing::WriteTestFile;

RoadJob FullJob() {
    RoadJob job;
    job.id = "20261209-171052-1-1";
    job.owner = 1;
    job.state = JobState::Committed;
    job.kind = DumpKind::NewData;
    job.read_at = "20261209-171052";
    job.dump = "C:\\Korvalen\\Data\\Korvalen.trc";
    job.archive = "C:\\Korvalen\\Data\\Archive\\20261209-171052-ND.trc";
    job.staging = "C:\\Korvalen\\InBox\\Korvalen.staging\\20261209-171052-1-1\\";
    job.inbox = "C:\\Korvalen\\InBox\\";
    job.csv = {{"C:\\Program Files\\Out Box\\012C.csv", 1234, 2048}, {"D:\\012N.csv", 0, -1}};
    job.files = {{"09171052.012", 4200}, {"09171053.012", 105}};
    job.payload_start = 11;
    job.parts_looked_up = true;
    job.delivered = {{11, 30011}, {30500, 31500}};
    job.based_on = {"C:\\Korvalen\\Data\\Archive\\20261209-170000-cut.trc",
                    "C:\\Korvalen\\Data\\Archive\\20261209-170010-cut.trc"};
    job.on_delivery = PartOnDelivery::Keep;
    job.part_length = 59929;
    job.piece_length = 600;
    return job;
}

TEST(JournalText, EveryFieldComesBackAndDamageStopsTheReading) {
    RoadJob plain;
    plain.id = "x";
    plain.owner = 2;
    plain.kind = DumpKind::File;
    plain.dump = "/home/user/dump with blanks.trc";
    const JournalContents jobs{
        {FullJob(), plain},
        {{"C:\\Korvalen\\Data\\Archive\\20261209-170000-cut.trc", 11, 30000, "20261209-170000"},
         {"C:\\Korvalen\\Data\\Archive\\20261209-170010-cut.trc", 0, 1000, "20261209-170010"}}};
    const std::string text = FormatJournal(jobs);
    EXPECT_EQ(ParseJournal(text), jobs);

    // Only a whole journal is read: a guess at a damaged one could drop a job whose reader
    // has forgotten its data.
    const struct {
        const char* name;
        std::string text;
        std::optional<std::size_t> jobs;  // how many are read; none: not a journal
    } rows[] = {
        {"empty journal", "Korvalen road journal 1\n", 0},
        {"not a journal", "UseGlobalID0\r\n", std::nullopt},
        {"a later program's key is read past",
         "Korvalen road journal 1\njob a 1 pending AD\n"
         "colour blue\nend\n",
         1},
        {"a job cut off", text.substr(0, text.size() - 4), std::nullopt},
        {"an unknown state", "Korvalen road journal 1\njob a 1 lost AD\nend\n", std::nullopt},
        {"a damaged CSV length",
         "Korvalen road journal 1\njob a 1 pending AD\nend\njob b 1 pending ND\ncsv x y\nend\n",
         std::nullopt},
        {"a damaged line between jobs",
         "Korvalen road journal 1\njob a 1 pending AD\nend\n#\njob b 1 pending ND\nend\n",
         std::nullopt},
    };
    for (const auto& row : rows) {
        const auto parsed = ParseJournal(row.text);
        ASSERT_EQ(parsed.has_value(), row.jobs.has_value()) << row.name;
        if (parsed) {
            EXPECT_EQ(parsed->jobs.size(), *row.jobs) << row.name;
        }
    }
}

// Each process has a session; a job whose session is held belongs to a program that runs,
// one whose session is free to a program that ended, and the next start takes it over.
TEST(Journal, SessionsTellRunningProgramsFromEndedOnes) {
    TempFolder folder;
    const std::string data = folder / "Data/";
    RoadJob job = FullJob();
    job.dump = folder / "Data/Korvalen.trc";
    std::filesystem::create_directories(data);
    WriteTestFile(job.dump, "a dump");
    auto first = std::make_unique<RoadJournal>(data);
    ASSERT_EQ(first->Open(), 0);
    EXPECT_EQ(first->session(), 1);
    ASSERT_EQ(first->Add(job), 0);
    EXPECT_EQ(first->Add(job), kJobExists);
    EXPECT_TRUE(first->HoldsDump(job.dump));
    // Known by what it is, however the path is spelled.
    EXPECT_TRUE(first->HoldsDump(folder / "Data/./Korvalen.trc"));

    RoadJournal second(data);
    ASSERT_EQ(second.Open(), 0);
    EXPECT_EQ(second.session(), 2);
    std::vector<RoadJob> taken;
    ASSERT_EQ(second.TakeOverAbandoned(taken), 0);
    EXPECT_TRUE(taken.empty());               // the first still runs
    EXPECT_TRUE(second.HoldsDump(job.dump));  // but its dump is not to be cut

    first.reset();  // the first program ends without finishing
    ASSERT_EQ(second.TakeOverAbandoned(taken), 0);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].id, job.id);
    EXPECT_EQ(taken[0].owner, 2);
    std::vector<RoadJob> mine;
    ASSERT_EQ(second.Jobs(mine), 0);
    EXPECT_EQ(mine.size(), 1u);
    ASSERT_EQ(second.Change(job.id, [](RoadJob& j) { j.archive = "kept"; }), 0);
    EXPECT_EQ(second.Find(job.id)->archive, "kept");
    ASSERT_EQ(second.Remove(job.id), 0);
    EXPECT_EQ(second.Change(job.id, [](RoadJob&) {}), kJobGone);
    EXPECT_FALSE(second.HoldsDump(job.dump));
    // The file is replaced whole: nothing is left beside it.
    EXPECT_EQ(FileNames(data),
              (std::vector<std::string>{"Korvalen-1.lck", "Korvalen-2.lck", "Korvalen.jnl",
                                        "Korvalen.jnl.lock", "Korvalen.trc"}));
    EXPECT_NE(second.NewJobId({}), second.NewJobId({}));
}

// Only a missing journal is an empty one: a journal that cannot be read fails every
// change, and holds every dump, until it can be read again; nothing in it is lost.
TEST(Journal, OneThatCannotBeReadIsNeverTakenForEmpty) {
    TempFolder folder;
    const std::string data = folder / "Data/";
    RoadJournal journal(data);
    ASSERT_EQ(journal.Open(), 0);
    ASSERT_EQ(journal.Add(FullJob()), 0);
    const std::string whole = ReadTestFile(data + "Korvalen.jnl");
    WriteTestFile(data + "Korvalen.jnl", whole + "#\n");
    RoadJob other = FullJob();
    other.id = "another";
    EXPECT_EQ(journal.Add(other), kJournalDamaged);
    EXPECT_EQ(journal.Remove(FullJob().id), kJournalDamaged);
    std::vector<RoadJob> jobs;
    EXPECT_EQ(journal.ReadAll(jobs), kJournalDamaged);
    EXPECT_TRUE(journal.HoldsDump(folder / "any.trc"));
    EXPECT_EQ(ReadTestFile(data + "Korvalen.jnl"), whole + "#\n");
    std::filesystem::remove(data + "Korvalen.jnl");
    EXPECT_EQ(journal.ReadAll(jobs), 0);
    EXPECT_TRUE(jobs.empty());
}

// Another program that reads the journal meanwhile, or holds a staged file for a moment
// without sharing it (on Windows, a scanner), only delays the change or the move.
TEST(Journal, BriefReadersAndHoldersOnlyDelay) {
    TempFolder folder;
    const std::string data = folder / "Data/";
    RoadJournal journal(data);
    ASSERT_EQ(journal.Open(), 0);
    ASSERT_EQ(journal.Add(FullJob()), 0);
    WriteTestFile(folder / "staged", "records");
    auto reader = std::make_unique<File>();
    ASSERT_TRUE(reader->Open(data + "Korvalen.jnl", OpenMode::OpenExisting, Sharing::Shared, true));
    auto holder = std::make_unique<File>();
    ASSERT_TRUE(holder->Open(folder / "staged", OpenMode::OpenExisting, Sharing::Exclusive));
    std::thread let_go([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        reader.reset();
        holder.reset();
    });
    EXPECT_EQ(journal.Remove(FullJob().id), 0);
    EXPECT_EQ(RenameWithoutReplacing(folder / "staged", folder / "moved"), 0);
    let_go.join();
    std::vector<RoadJob> jobs;
    ASSERT_EQ(journal.ReadAll(jobs), 0);
    EXPECT_TRUE(jobs.empty());
    EXPECT_EQ(ReadTestFile(folder / "moved"), "records");
}

TEST(Archive, KeepsEveryTransferUnderItsOwnNameWithinItsLimit) {
    TempFolder folder;
    const std::string dump = folder / "Korvalen.trc";
    DumpArchive archive(folder / "Archive/", 250);
    const struct {
        const char* read_at;
        const char* kind;
        std::vector<std::string> after;
    } rows[] = {
        {"20261209-100000", "ND", {"20261209-100000-ND.trc"}},
        {"20261209-100000", "ND", {"20261209-100000-ND-1.trc", "20261209-100000-ND.trc"}},
        // The limit: the oldest goes, never the newest.
        {"20261209-110000",
         "cut",
         {"20261209-100000-ND-1.trc", "20261209-100000-ND.trc", "20261209-110000-cut.trc"}},
        {"20261209-120000",
         "AD",
         {"20261209-100000-ND.trc", "20261209-110000-cut.trc", "20261209-120000-AD.trc"}},
    };
    char transfer = 'a';  // each row another transfer
    for (const auto& row : rows) {
        WriteTestFile(dump, std::string(80, transfer++));
        int code = 0;
        const auto kept = archive.Keep(dump, ArchiveName(row.read_at, row.kind), code);
        ASSERT_TRUE(kept) << row.read_at << " " << code;
        EXPECT_EQ(ReadTestFile(*kept), ReadTestFile(dump));
        EXPECT_EQ(FileNames(archive.folder()), row.after) << row.read_at;
    }
    // The same transfer kept again (its job done again after a crash) is the copy it has.
    int again_code = 0;
    EXPECT_EQ(archive.Keep(dump, ArchiveName("20261209-120000", "AD"), again_code),
              archive.folder() + "20261209-120000-AD.trc");
    // One dump beyond the limit by itself stays.
    WriteTestFile(dump, std::string(1000, 'x'));
    int code = 0;
    ASSERT_TRUE(archive.Keep(dump, ArchiveName("20261209-130000", "ND"), code));
    EXPECT_EQ(FileNames(archive.folder()), std::vector<std::string>{"20261209-130000-ND.trc"});
}

TEST(ReadLog, LinesInWindows1251RotatedBeyondTheLimit) {
    TempFolder folder;
    const testing::StoppedClock clock({2026, 12, 9, 17, 10, 52, 0});
    ReadLog log(folder.path() + "/", clock, 100);
    const std::string capture = FormatCaptureLine({.port = "COM1",
                                                   .kind = "ND",
                                                   .announced = 183456,
                                                   .received = 183456,
                                                   .acknowledgement = "отправлено",
                                                   .dump = "C:\\Data\\Korvalen.trc",
                                                   .archive = "20261209-171052-ND.trc"});
    EXPECT_EQ(capture,
              "считывание COM1 ND: объявлено 183456 байт, получено 183456 байт; (SDD) отправлено; "
              "дамп C:\\Data\\Korvalen.trc; архив 20261209-171052-ND.trc");
    EXPECT_EQ(FormatCaptureLine({.port = "COM9",
                                 .kind = "",
                                 .announced = -1,
                                 .received = 12,
                                 .acknowledgement = "не отправлено: передача неполная",
                                 .dump = "d.trc",
                                 .archive = ""}),
              "считывание COM9 без заголовка: получено 12 байт; (SDD) не отправлено: передача "
              "неполная; дамп d.trc");
    EXPECT_EQ(FormatPassLine({.dump = "d.trc",
                              .completed = false,
                              .errors = 1,
                              .power_ons = 2,
                              .route_lines = {},
                              .finished_at = {},
                              .objects = 4,
                              .points = 5231,
                              .delivered_files = 0,
                              .delivered = false,
                              .milliseconds = 120}),
              "декодирование d.trc: объектов 4, точек 5231, включений 2, ошибок записи 1, "
              "доставлено файлов 0, 120 мс (прервано); не доставлено, будет декодировано заново");

    ASSERT_TRUE(log.Append(capture));
    const std::string bytes = ReadTestFile(log.path());
    EXPECT_EQ(bytes, Utf8ToCp1251("09.12.2026 17:10:52 " + capture) + "\r\n");
    ASSERT_TRUE(log.Append("второе"));  // beyond 100 bytes: a new file begins
    EXPECT_EQ(ReadTestFile(log.path()), Utf8ToCp1251("09.12.2026 17:10:52 второе\r\n"));
    EXPECT_EQ(log.ReadAll(),
              "09.12.2026 17:10:52 " + capture + "\r\n09.12.2026 17:10:52 второе\r\n");
}

}  // namespace
}  // namespace korvalen
