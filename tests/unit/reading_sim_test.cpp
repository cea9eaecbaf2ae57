// The reading thread against the simulated reader on a real pseudo-terminal: the whole
// road from a command to the dump handed over for decoding, and what the reader hears.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "decode_test_support.h"
#include "file_size_limit.h"
#include "platform/file.h"
#include "recording_reading_host.h"
#include "serial/port_connection.h"
#include "serial/reader_protocol.h"
#include "sim_process.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using testing::ReadTestFile;
using testing::RecordingReadingHost;
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
    void Connect(const SimProcess& sim) { ASSERT_TRUE(connection.Open(sim.device_path())); }

    testing::TempFolder folder;
    std::string in_file = folder / "Korvalen.trc";
    WorkState work;
    RecordingReadingHost host{in_file};
    PortConnection connection{work, host};
};

// "(QND)", the whole transfer in the dump, "(SDD)"; a second transfer, started by the
// reader's button while a pass still reads the first dump, goes to the first numbered
// name and brings only what the logger recorded since.
TEST_F(ReadingFromTheSimulator, NewDataTwice) {
    SimProcess sim(
        {"--pace", "max", "--size", "30000", "--start", "2026-12-01", "--record-every", "50"});
    std::vector<File> passes;  // each handed-over dump stays open, as a pass reads it
    host.on_decode = [&](const std::string& path) {
        File dump;
        ASSERT_TRUE(dump.Open(path, OpenMode::OpenExisting, Sharing::Shared, true)) << path;
        passes.push_back(std::move(dump));
    };
    Connect(sim);
    connection.SendCommand(kQueryNewData);
    ASSERT_TRUE(host.WaitForDecodes(1, 20s));
    ASSERT_TRUE(sim.WaitForLog("ack ", 2s)) << sim.Log();

    std::this_thread::sleep_for(500ms);  // the logger records meanwhile
    sim.PressButton();
    ASSERT_TRUE(host.WaitForDecodes(2, 20s));
    ASSERT_TRUE(sim.WaitForLog("command (SDD)\n", 2s));

    const std::vector<long> sizes = TransferSizes(sim.Log());
    ASSERT_EQ(sizes.size(), 2u) << sim.Log();
    EXPECT_EQ(host.decoded(), (std::vector<std::string>{in_file, folder / "Korvalen1.trc"}));
    const std::string first = ReadTestFile(in_file);
    const std::string second = ReadTestFile(folder / "Korvalen1.trc");
    EXPECT_EQ(static_cast<long>(first.size()), 11 + sizes[0]);
    EXPECT_EQ(static_cast<long>(second.size()), 11 + sizes[1]);
    EXPECT_GT(sizes[1], 0);
    EXPECT_LT(sizes[1], sizes[0] / 10);
    EXPECT_EQ(first.find(second.substr(11, 60)), std::string::npos);  // nothing twice
    EXPECT_TRUE(host.messages().empty());
    EXPECT_FALSE(work.capture_active);
    EXPECT_EQ(work.progress.mask(), 0u);
}

// The abort: "(SSS)" and the control lines; the line goes silent, the part received is
// handed over, and nothing is acknowledged.
TEST_F(ReadingFromTheSimulator, AbortedTransfer) {
    SimProcess sim({"--pace", "2", "--start", "2026-12-01", "--record-every", "0"});
    Connect(sim);
    connection.SendCommand(kQueryNewData);
    ASSERT_TRUE(sim.WaitForLog("transfer ND", 5s));
    std::this_thread::sleep_for(700ms);
    ASSERT_TRUE(work.capture_active);
    connection.StopTransfer(
        [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
    ASSERT_TRUE(host.WaitForDecodes(1, 5s)) << sim.Log();
    EXPECT_TRUE(sim.WaitForLog("transfer-end stopped", 1s)) << sim.Log();
    EXPECT_EQ(sim.Log().find("(SDD)"), std::string::npos);
    const auto sizes = TransferSizes(sim.Log());
    ASSERT_EQ(sizes.size(), 1u);
    const std::size_t captured = ReadTestFile(in_file).size();
    EXPECT_GT(captured, 11u);
    EXPECT_LT(static_cast<long>(captured), 11 + sizes[0]);
    EXPECT_TRUE(host.messages().empty());
}

// An adapter pulled in the middle of a transfer: the part received is handed over, the
// user hears of the failed read, nothing is acknowledged.
TEST_F(ReadingFromTheSimulator, DeviceVanishing) {
    SimProcess sim(
        {"--pace", "max", "--size", "30000", "--start", "2026-12-01", "--vanish-at", "5000"});
    Connect(sim);
    connection.SendCommand(kQueryNewData);
    ASSERT_TRUE(host.WaitForDecodes(1, 10s));
    EXPECT_EQ(ReadTestFile(in_file).size(), 11u + 5000u);
    EXPECT_EQ(sim.Log().find("(SDD)"), std::string::npos);
    ASSERT_TRUE(host.WaitForMessages(1, 2s)) << sim.Log();  // after the handing over
    EXPECT_EQ(host.messages()[0].text, kReadFailure);
}

// A full disk: no "(SDD)", so the reader offers the same data again; once there is
// room, the next read takes them and acknowledges them.
TEST_F(ReadingFromTheSimulator, FullDiskKeepsTheDataInTheReader) {
    SimProcess sim(
        {"--pace", "max", "--size", "30000", "--start", "2026-12-01", "--record-every", "0"});
    Connect(sim);
    {
        testing::ScopedFileSizeLimit limit(4096);
        connection.SendCommand(kQueryNewData);
        ASSERT_TRUE(host.WaitForDecodes(1, 20s));
    }
    ASSERT_TRUE(host.WaitForMessages(1, 2s));
    EXPECT_EQ(host.messages()[0].text.rfind("Не удалось записать информацию в файл.", 0), 0u);
    EXPECT_EQ(sim.Log().find("(SDD)"), std::string::npos);

    connection.SendCommand(kQueryNewData);
    ASSERT_TRUE(host.WaitForDecodes(2, 20s));
    ASSERT_TRUE(sim.WaitForLog("ack ", 2s));
    const auto sizes = TransferSizes(sim.Log());
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], sizes[1]);
    EXPECT_EQ(static_cast<long>(ReadTestFile(in_file).size()), 11 + sizes[1]);
}

}  // namespace
}  // namespace korvalen
