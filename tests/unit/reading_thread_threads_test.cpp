// The reading thread's work at each poll, stepped by hand against a port in memory: what
// reaches the dump, what the window is told, and when the reader hears "(SDD)".
#include "serial/reading_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "decode_test_support.h"
#include "fake_serial_port.h"
#include "journal_jobs.h"
#include "platform/write_fault.h"
#include "recording_road.h"
#include "temp_folder.h"
#include "test_clocks.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using testing::FakeSerialPort;
using testing::ReadTestFile;
using testing::RecordingRoad;
using testing::TempFolder;
using testing::TickClock;
using testing::WriteTestFile;

Settings SettingsIn(const TempFolder& folder) {
    Settings settings;
    ApplyDefaults(settings, folder.path());
    settings.InFile = folder / "Korvalen.trc";
    settings.InboxDir = folder / "InBox/";
    return settings;
}

class ReadingThreadTest : public ::testing::Test {
  protected:
    // Lets `arriving` arrive, moves the clock on by `after_ms` and polls once.
    void Poll(const std::string& arriving, std::uint32_t after_ms = ReadingThread::kPollMs) {
        port.Arrive(arriving);
        clock.ticks += after_ms;
        thread.PollOnce();
    }
    // What the reading thread itself showed (the passes show theirs from their threads).
    std::vector<std::string> ShownByTheReader() const {
        return host.events(std::this_thread::get_id());
    }
    std::vector<std::string> Decoded() {
        EXPECT_TRUE(jobs.WaitUntilIdle(30s));
        return host.decoded();
    }

    TempFolder folder;
    std::string in_file = folder / "Korvalen.trc";
    FakeSerialPort port;
    ManualResetEvent stop;
    RecordingRoad host;
    TickClock clock;
    DecodeJobs jobs{folder / "Data/", SettingsIn(folder), host, host};
    ReadingThread thread{port, stop, jobs, "COM1", clock};
};

TEST_F(ReadingThreadTest, ACompleteTransferOfNewData) {
    const std::string transfer = "(ND0000A28)" + std::string(2600, 'x');
    // The dump is on the disk, closed and in the journal when the reader hears that it
    // may forget it.
    bool dump_kept_at_ack = false;
    port.on_write = [&](std::string_view bytes) {
        File probe;
        const auto jobs_now = testing::OwnJobs(jobs.journal());
        dump_kept_at_ack = bytes == "(SDD)" &&
                           probe.Open(in_file, OpenMode::OpenExisting, Sharing::Exclusive, true) &&
                           jobs_now.size() == 1 && jobs_now[0].dump == in_file &&
                           jobs_now[0].state == JobState::Pending &&
                           jobs_now[0].kind == DumpKind::NewData;
    };
    Poll(transfer.substr(0, 1200));
    EXPECT_TRUE(jobs.work().capture_active);
    Poll(transfer.substr(1200, 1200));
    Poll(transfer.substr(2400));
    Poll("");

    EXPECT_FALSE(jobs.work().capture_active);
    EXPECT_EQ(port.writes(), std::vector<std::string>{"(SDD)"});
    EXPECT_TRUE(dump_kept_at_ack);
    EXPECT_EQ(ReadTestFile(in_file), transfer);
    EXPECT_EQ(Decoded(), std::vector<std::string>{in_file});
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(jobs.work().progress.mask(), 0u);
    EXPECT_TRUE(testing::OwnJobs(jobs.journal()).empty());  // delivered
    // The capture told in order: its start, the progress (position 0 before the first
    // read, the range from the header's size, 2600 bytes: 2, at the second poll as owner,
    // the count before each read), the reader's answer, the progress given back, its end.
    EXPECT_EQ(ShownByTheReader(),
              (std::vector<std::string>{"capture started COM1", "position 0", "range 2",
                                        "position 1", "position 2", "reader answered COM1",
                                        "position 0", "capture ended"}));
    ASSERT_EQ(host.reports().size(), 1u);
    const CaptureReport report = host.reports()[0];
    EXPECT_EQ(report.dump, in_file);
    EXPECT_EQ(report.kind(), DumpKind::NewData);
    EXPECT_TRUE(report.acknowledged);
    EXPECT_EQ(report.acknowledgement, "отправлено");
}

// A capture never writes over a dump that a pass still reads, nor over one that is not
// yet delivered: it takes the first numbered name.
TEST_F(ReadingThreadTest, TheDumpNameSkipsDumpsInUse) {
    for (const bool in_journal : {false, true}) {
        SCOPED_TRACE(in_journal ? "not yet delivered" : "read by a pass");
        WriteTestFile(in_file, "the last dump");
        File reader;
        RoadJournal other(folder / "Data/");  // another program with the same data folder
        if (in_journal) {
            ASSERT_EQ(other.Open(), 0);
            RoadJob job;
            job.id = "waiting";
            job.dump = in_file;
            ASSERT_EQ(other.Add(job), 0);
        } else {
            ASSERT_TRUE(reader.Open(in_file, OpenMode::OpenExisting, Sharing::Shared, true));
        }
        Poll("(AD0000003)abc");
        Poll("");
        ASSERT_TRUE(jobs.WaitUntilIdle(30s));
        EXPECT_EQ(ReadTestFile(folder / "Korvalen1.trc"), "(AD0000003)abc");
        EXPECT_TRUE(port.writes().empty());  // all data are never acknowledged
        EXPECT_EQ(ReadTestFile(in_file), "the last dump");
        if (in_journal)
            other.Remove("waiting");
    }
}

TEST_F(ReadingThreadTest, NoDumpFileMeansNoCaptureAndTheBytesGo) {
    Settings settings = SettingsIn(folder);
    settings.InFile = folder / "missing folder/Korvalen.trc";
    jobs.SetSettings(settings);
    Poll("(ND0000003)abc");
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text.rfind("Не удалось открыть файл на запись. Код ошибки: ", 0),
              0u);
    EXPECT_NE(host.messages()[0].text.find(".\n" + settings.InFile), std::string::npos);
    EXPECT_EQ(host.messages()[0].icon, MessageIcon::None);
    EXPECT_FALSE(jobs.work().capture_active);
    EXPECT_EQ(port.calls().back(), "discard input");
    // The next poll finds nothing: no second message.
    Poll("");
    EXPECT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(jobs.work().progress.mask(), 0u);
}

TEST_F(ReadingThreadTest, AFailedReadIsToldAndThePartReceivedDecoded) {
    Poll("(ND0000010)abcd");
    port.fail_read = true;
    Poll("efgh");
    port.fail_read = false;
    Poll("", Capture::kSilenceMs);
    EXPECT_EQ(Decoded().size(), 1u);
    EXPECT_TRUE(port.writes().empty());
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text,
              "В ходе чтения данных из CОM-порта произошла ошибка. Попробуйте повторить "
              "считывание!");
}

// The reader is told to forget its data only once the dump is on the disk whole and the
// journal knows it: a full disk for the dump keeps the data in the reader, and the part
// received is still decoded; a journal that cannot be written does not let the capture
// begin (it could never be acknowledged, and the dumps it holds are not known) and says
// so with the journal's name.
TEST_F(ReadingThreadTest, NoAcknowledgementWithoutTheDumpAndTheJournalOnTheDisk) {
    const std::string transfer = "(ND0001000)" + std::string(4096, 'x');
    const struct {
        const char* name;
        std::string full;  // where the disk is full
        bool message;
    } cases[] = {
        {"the dump cannot be written", in_file, true},
        {"the journal cannot be written", folder / "Data/Korvalen.jnl.new", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingRoad fresh;
        DecodeJobs own_jobs{folder / "Data/", SettingsIn(folder), fresh, fresh};
        ReadingThread reader{port, stop, own_jobs, "COM1", clock};
        {
            const ScopedWriteFault disk_full(c.full, c.message ? 1000 : 0);
            for (const std::string& part :
                 {transfer.substr(0, 2000), transfer.substr(2000), std::string()}) {
                port.Arrive(part);
                clock.ticks += ReadingThread::kPollMs;
                reader.PollOnce();
            }
            ASSERT_TRUE(own_jobs.WaitUntilIdle(30s));
        }
        EXPECT_TRUE(port.writes().empty());
        EXPECT_EQ(fresh.decoded().size(), c.message ? 1u : 0u);
        if (c.message) {
            EXPECT_LE(ReadTestFile(in_file).size(), 1000u);
            ASSERT_EQ(fresh.messages().size(), 1u);
            EXPECT_EQ(fresh.messages()[0].text,
                      "Не удалось записать информацию в файл. Код ошибки: " +
                          std::to_string(DiskFullErrorCode()) + ".\n" + in_file);
        } else {
            // Once for each poll that finds the transfer's bytes: they are thrown away.
            ASSERT_FALSE(fresh.messages().empty());
            EXPECT_EQ(fresh.messages()[0].text, "Не удалось открыть файл на запись. Код ошибки: " +
                                                    std::to_string(DiskFullErrorCode()) + ".\n" +
                                                    folder / "Data/Korvalen.jnl");
        }
    }
}

// The thread ends when its stop event is set and its owner agrees; a capture that runs
// then gives back the bar's claim and the busy flag, and stays in the journal for the
// next start to decode.
TEST_F(ReadingThreadTest, StopsWhenTheOwnerAgrees) {
    port.Arrive("(ND0000100)abcdef");
    std::atomic<int> asked{0};
    std::thread running([&] { thread.Run([&] { return ++asked >= 2; }); });
    while (!jobs.work().capture_active)
        std::this_thread::yield();
    stop.Set();
    running.join();
    EXPECT_EQ(asked.load(), 2);
    EXPECT_FALSE(jobs.work().capture_active);
    EXPECT_EQ(jobs.work().progress.mask(), 0u);
    EXPECT_TRUE(Decoded().empty());
    const auto left = testing::OwnJobs(jobs.journal());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].state, JobState::Capturing);
}

}  // namespace
}  // namespace korvalen
