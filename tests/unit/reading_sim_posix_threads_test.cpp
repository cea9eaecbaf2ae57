// The road without a window: the simulated reader on a real pseudo-terminal, the port, the
// reading thread, the job owner and its passes, and what reaches the InBox, the archive,
// the journal and the read log; and what the reader hears.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "decode/decoding_pass.h"
#include "decode_test_support.h"
#include "file_size_limit.h"
#include "inbox_records.h"
#include "journal_jobs.h"
#include "platform/file.h"
#include "platform/manual_reset_event.h"
#include "recording_road.h"
#include "serial/port_connection.h"
#include "serial/reader_protocol.h"
#include "sim_process.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using testing::InboxRecords;
using testing::ReadTestFile;
using testing::RecordingRoad;
using testing::SimProcess;

constexpr std::string_view kReadFailure =
    "В ходе чтения данных из CОM-порта произошла ошибка. Попробуйте повторить считывание!";

// The payload sizes of the transfers the simulator logged, in order.
std::vector<long> TransferSizes(const std::string& log) {
    std::vector<long> sizes;
    const std::regex transfer("transfer (ND|AD) ([0-9]+)");
    for (std::sregex_iterator it(log.begin(), log.end(), transfer), end; it != end; ++it)
        sizes.push_back(std::stol((*it)[2]));
    return sizes;
}

class ReadingFromTheSimulator : public ::testing::Test {
  protected:
    ReadingFromTheSimulator() {
        ApplyDefaults(settings, folder.path());
        settings.InFile = in_file;
        settings.InboxDir = folder / "InBox/";
        jobs.SetSettings(settings);
    }
    void Connect(const SimProcess& sim) { ASSERT_TRUE(connection.Open(sim.device_path())); }
    bool WaitForDecodes(std::size_t count) {
        return host.WaitForSummaries(count, 30s) && jobs.WaitUntilIdle(30s);
    }

    testing::TempFolder folder;
    std::string in_file = folder / "Korvalen.trc";
    Settings settings;
    RecordingRoad host;
    DecodeJobs jobs{folder / "Data/", settings, host, host};
    PortConnection connection{jobs};
};

// "(QND)", the whole transfer in the dump and in the journal, "(SDD)", the dump kept in
// the archive and decoded into the InBox. A second transfer, started by the reader's
// button while the first pass still waits for the user's answer about records without
// ID, goes to the first numbered name and brings only what the logger recorded since.
// The InBox holds every record of both transfers once, exactly as decoding the archived
// dumps gives them; the journal is empty, the read log tells both reads and passes.
TEST_F(ReadingFromTheSimulator, TheRoadFromTheReaderToTheInBox) {
    SimProcess sim(
        {"--pace", "max", "--size", "30000", "--start", "2026-12-01", "--record-every", "50"});
    ManualResetEvent second_read;
    int questions = 0;
    host.on_question = [&] {
        if (++questions == 1) {
            ASSERT_TRUE(second_read.WaitFor(30s));
        }
    };
    Connect(sim);
    connection.SendCommand(kQueryNewData);
    ASSERT_TRUE(sim.WaitForLog("ack ", 20s)) << sim.Log();
    std::this_thread::sleep_for(300ms);  // the logger records something new meanwhile
    sim.PressButton();
    // Both acknowledged before the first pass has its answer.
    const auto acks = [&] {
        const std::string log = sim.Log();
        std::size_t count = 0;
        for (std::size_t at = log.find("ack "); at != std::string::npos;
             at = log.find("ack ", at + 1)) {
            ++count;
        }
        return count;
    };
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (acks() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(acks(), 2u) << sim.Log();
    second_read.Set();
    ASSERT_TRUE(WaitForDecodes(2));

    const std::vector<long> sizes = TransferSizes(sim.Log());
    ASSERT_EQ(sizes.size(), 2u) << sim.Log();
    EXPECT_GT(sizes[1], 0);
    EXPECT_LT(sizes[1], sizes[0] / 10);
    const std::vector<std::string> dumps{in_file, folder / "Korvalen1.trc"};
    std::vector<std::string> decoded = host.decoded();
    std::sort(decoded.begin(), decoded.end());
    EXPECT_EQ(decoded, dumps);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_FALSE(jobs.work().capture_active);
    EXPECT_EQ(jobs.work().progress.mask(), 0u);
    EXPECT_TRUE(testing::OwnJobs(jobs.journal()).empty());

    // The archive keeps both transfers as they came; decoding them again gives exactly
    // what the InBox holds.
    const std::vector<std::string> archived = testing::FileNames(jobs.archive_folder());
    ASSERT_EQ(archived.size(), 2u);
    Settings reference = settings;
    reference.InboxDir = folder / "reference/";
    for (const std::string& name : archived) {
        EXPECT_NE(name.find("-ND"), std::string::npos) << name;
        testing::RecordingOperator quiet;  // answers No, as the user did
        DecodingPass pass(reference, jobs.archive_folder() + name, quiet);
        ASSERT_TRUE(pass.Run());
    }
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(static_cast<long>(ReadTestFile(dumps[i]).size()), 11 + sizes[i]);
    }
    std::vector<std::string> problems;
    const auto delivered = InboxRecords(folder / "InBox", &problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_GT(delivered.size(), 100u);
    EXPECT_EQ(delivered, InboxRecords(folder / "reference"));

    const std::string read_log = jobs.read_log().ReadAll();
    EXPECT_NE(read_log.find("считывание " + sim.device_path() + " ND: объявлено " +
                            std::to_string(sizes[0]) + " байт, получено " +
                            std::to_string(sizes[0]) + " байт; (SDD) отправлено; дамп " + in_file),
              std::string::npos)
        << read_log;
    EXPECT_EQ(std::count(read_log.begin(), read_log.end(), '\n'), 4) << read_log;
}

// The abort: "(SSS)" and the control lines; the line goes silent, the part received is
// decoded and archived as cut, and nothing is acknowledged.
TEST_F(ReadingFromTheSimulator, AbortedTransfer) {
    SimProcess sim({"--pace", "2", "--start", "2026-12-01", "--record-every", "0"});
    Connect(sim);
    connection.SendCommand(kQueryNewData);
    ASSERT_TRUE(sim.WaitForLog("transfer ND", 5s));
    std::this_thread::sleep_for(700ms);
    ASSERT_TRUE(jobs.work().capture_active);
    connection.StopTransfer(
        [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
    ASSERT_TRUE(WaitForDecodes(1)) << sim.Log();
    EXPECT_TRUE(sim.WaitForLog("transfer-end stopped", 1s)) << sim.Log();
    EXPECT_EQ(sim.Log().find("(SDD)"), std::string::npos);
    const auto sizes = TransferSizes(sim.Log());
    ASSERT_EQ(sizes.size(), 1u);
    const std::size_t captured = ReadTestFile(in_file).size();
    EXPECT_GT(captured, 11u);
    EXPECT_LT(static_cast<long>(captured), 11 + sizes[0]);
    EXPECT_TRUE(host.messages().empty());
    const auto archived = testing::FileNames(jobs.archive_folder());
    ASSERT_EQ(archived.size(), 1u);
    EXPECT_NE(archived[0].find("-cut.trc"), std::string::npos);
}

// An adapter pulled in the middle of a transfer: the part received is decoded, the user
// hears of the failed read, nothing is acknowledged.
TEST_F(ReadingFromTheSimulator, DeviceVanishing) {
    SimProcess sim(
        {"--pace", "max", "--size", "30000", "--start", "2026-12-01", "--vanish-at", "5000"});
    Connect(sim);
    connection.SendCommand(kQueryNewData);
    ASSERT_TRUE(WaitForDecodes(1));
    EXPECT_EQ(ReadTestFile(in_file).size(), 11u + 5000u);
    EXPECT_EQ(sim.Log().find("(SDD)"), std::string::npos);
    ASSERT_TRUE(host.WaitForMessages(1, 2s)) << sim.Log();
    EXPECT_EQ(host.messages()[0].text, kReadFailure);
}

// A full disk: no "(SDD)", so the reader offers the same data again; once there is
// room, the next read takes them and acknowledges them.
TEST_F(ReadingFromTheSimulator, FullDiskKeepsTheDataInTheReader) {
    SimProcess sim({"--pace", "max", "--size", "30000", "--all-with-id", "--start", "2026-12-01",
                    "--record-every", "0"});
    Connect(sim);
    {
        testing::ScopedFileSizeLimit limit(4096);
        connection.SendCommand(kQueryNewData);
        ASSERT_TRUE(WaitForDecodes(1));
    }
    ASSERT_TRUE(host.WaitForMessages(1, 2s));
    EXPECT_EQ(host.messages()[0].text.rfind("Не удалось записать информацию в файл.", 0), 0u);
    EXPECT_EQ(sim.Log().find("(SDD)"), std::string::npos);

    connection.SendCommand(kQueryNewData);
    ASSERT_TRUE(WaitForDecodes(2));
    ASSERT_TRUE(sim.WaitForLog("ack ", 2s));
    const auto sizes = TransferSizes(sim.Log());
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], sizes[1]);
}

}  // namespace
}  // namespace korvalen
