// The road's records on the disk: the journal's text and sessions, the archive, the read log.
#include "worker/road_journal.h"

#include <gtest/gtest.h>

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
    job.csv = {{"C:\\Program Files\\Out Box\\012C.csv", 1234}, {"D:\\012N.csv", 0}};
    return job;
}

TEST(JournalText, EveryFieldComesBackAndDamageStopsTheReading) {
    RoadJob plain;
    plain.id = "x";
    plain.owner = 2;
    plain.kind = DumpKind::File;
    plain.dump = "/home/user/dump with blanks.trc";
    const std::vector<RoadJob> jobs{FullJob(), plain};
    const std::string text = FormatJournal(jobs);
    EXPECT_EQ(ParseJournal(text), jobs);

    const struct {
        const char* name;
        std::string text;
        std::optional<std::size_t> jobs;  // how many are read; none: not a journal
    } rows[] = {
        {"empty journal", "Korvalen road journal 1\n", 0},
        {"not a journal", "UseGlobalID0\r\n", std::nullopt},
        {"a later program's key is read past", "Korvalen road journal 1\njob a 1 pending AD\n"
                                                "colour blue\nend\n",
         1},
        {"a job without its end is not taken", text.substr(0, text.size() - 4), 1},
        {"an unknown state ends the reading", "Korvalen road journal 1\njob a 1 lost AD\nend\n",
         0},
        {"a damaged CSV length ends the reading",
         "Korvalen road journal 1\njob a 1 pending AD\nend\njob b 1 pending ND\ncsv x y\nend\n",
         1},
    };
    for (const auto& row : rows) {
        const auto parsed = ParseJournal(row.text);
        ASSERT_EQ(parsed.has_value(), row.jobs.has_value()) << row.name;
        if (parsed) {
            EXPECT_EQ(parsed->size(), *row.jobs) << row.name;
        }
    }
}

// Each process has a session; a job whose session is held belongs to a program that runs,
// one whose session is free to a program that ended, and the next start takes it over.
TEST(Journal, SessionsTellRunningProgramsFromEndedOnes) {
    TempFolder folder;
    const std::string data = folder / "Data/";
    RoadJob job = FullJob();
    auto first = std::make_unique<RoadJournal>(data);
    ASSERT_TRUE(first->Open());
    EXPECT_EQ(first->session(), 1);
    ASSERT_TRUE(first->Put(job));
    EXPECT_TRUE(first->HoldsDump(job.dump));

    RoadJournal second(data);
    ASSERT_TRUE(second.Open());
    EXPECT_EQ(second.session(), 2);
    EXPECT_TRUE(second.TakeOverAbandoned().empty());  // the first still runs
    EXPECT_TRUE(second.HoldsDump(job.dump));          // but its dump is not to be cut

    first.reset();  // the first program ends without finishing
    const auto taken = second.TakeOverAbandoned();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].id, job.id);
    EXPECT_EQ(taken[0].owner, 2);
    EXPECT_EQ(second.Jobs().size(), 1u);
    ASSERT_TRUE(second.Remove(job.id));
    EXPECT_FALSE(second.HoldsDump(job.dump));
    // The file is replaced whole: nothing is left beside it.
    EXPECT_EQ(FileNames(data),
              (std::vector<std::string>{"Korvalen-1.lck", "Korvalen-2.lck", "Korvalen.jnl",
                                        "Korvalen.jnl.lock"}));
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
    for (const auto& row : rows) {
        WriteTestFile(dump, std::string(80, row.kind[0]));
        int code = 0;
        const auto kept = archive.Keep(dump, ArchiveName(row.read_at, row.kind), code);
        ASSERT_TRUE(kept) << row.read_at << " " << code;
        EXPECT_EQ(ReadTestFile(*kept), std::string(80, row.kind[0]));
        EXPECT_EQ(FileNames(archive.folder()), row.after) << row.read_at;
    }
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
                              .objects = 4,
                              .points = 5231,
                              .power_ons = 2,
                              .write_errors = 1,
                              .delivered_files = 0,
                              .delivered = false,
                              .completed = false,
                              .milliseconds = 120}),
              "декодирование d.trc: объектов 4, точек 5231, включений 2, ошибок записи 1, "
              "доставлено файлов 0, 120 мс (прервано); не доставлено, будет декодировано заново");

    ASSERT_TRUE(log.Append(capture));
    const std::string bytes = ReadTestFile(log.path());
    EXPECT_EQ(bytes, Utf8ToCp1251("09.12.2026 17:10:52 " + capture) + "\r\n");
    ASSERT_TRUE(log.Append("второе"));  // beyond 100 bytes: a new file begins
    EXPECT_EQ(ReadTestFile(log.path()), Utf8ToCp1251("09.12.2026 17:10:52 второе\r\n"));
    EXPECT_EQ(log.ReadAll(), "09.12.2026 17:10:52 " + capture + "\r\n09.12.2026 17:10:52 второе\r\n");
}

}  // namespace
}  // namespace korvalen
