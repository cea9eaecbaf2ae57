// korvalen-sim through a real pseudo-terminal, as the program meets it on its port.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "sim_process.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using testing::SimProcess;
using Clock = std::chrono::steady_clock;

// The program's end of the line: the pseudo-terminal's slave, raw.
class Port {
  public:
    explicit Port(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
        termios mode{};
        if (fd_ < 0 || ::tcgetattr(fd_, &mode) != 0)
            throw std::runtime_error("cannot open " + path);
        ::cfmakeraw(&mode);
        ::tcsetattr(fd_, TCSANOW, &mode);
    }
    ~Port() { ::close(fd_); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    void Send(const std::string& bytes) {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads until `count` bytes have come (or `limit` passed), then for `quiet` more to
    // see that nothing follows. Stops early when the line hangs up.
    std::string Read(std::size_t count, std::chrono::milliseconds quiet = 150ms,
                     std::chrono::milliseconds limit = 5s) {
        std::string bytes;
        const auto deadline = Clock::now() + limit;
        auto quiet_until = Clock::time_point::max();
        for (;;) {
            if (bytes.size() >= count && quiet_until == Clock::time_point::max())
                quiet_until = Clock::now() + quiet;
            const auto until = std::min(deadline, quiet_until);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
            pollfd readable{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                return bytes;
            std::string chunk(65536, '\0');
            const ssize_t got = ::read(fd_, chunk.data(), chunk.size());
            if (got <= 0) {
                hung_up_ = true;
                return bytes;
            }
            bytes.append(chunk.data(), static_cast<std::size_t>(got));
        }
    }

    // Reads until the line has been silent for `quiet` (or `limit` passed).
    std::string ReadUntilQuiet(std::chrono::milliseconds quiet,
                               std::chrono::milliseconds limit = 5s) {
        std::string bytes;
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline && !hung_up_) {
            const std::string more = Read(1, 0ms, quiet);  // whatever comes within `quiet`
            if (more.empty())
                break;
            bytes += more;
        }
        return bytes;
    }

    // A transfer: its 11-byte header and as many bytes as the header announces.
    std::string ReadTransfer() {
        std::string bytes = Read(11, 0ms);
        if (bytes.size() < 11)
            return bytes;
        const std::size_t size = std::stoul(bytes.substr(4, 6), nullptr, 16);
        return bytes + Read(size + 11 - bytes.size());
    }

    bool hung_up() const { return hung_up_; }

  private:
    int fd_;
    bool hung_up_ = false;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// 2000 bytes of a flash image written by hand: 40 lines of 50 characters.
std::string HandWrittenFlash() {
    std::string flash;
    for (int i = 0; i < 40; ++i)
        flash += "line " + std::string(1, static_cast<char>('a' + i % 26)) + std::string(42, '.') +
                 "\r\n";
    return flash;
}

std::size_t AnnouncedSize(const std::string& transfer) {
    return transfer.size() < 11 ? 0 : std::stoul(transfer.substr(4, 6), nullptr, 16);
}

// The record frames of a payload, in order.
std::vector<std::string> Frames(const std::string& payload) {
    std::vector<std::string> frames;
    for (std::string line : Lines(payload)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with(">"))
            frames.push_back(line);
    }
    return frames;
}

TEST(SimEndToEnd, NewDataComesAgainUntilAcknowledgedThenOnlyWhatIsNewer) {
    testing::TempFolder folder;
    const std::string journal = folder / "journal";
    SimProcess sim(
        {"--pace", "max", "--start", "2024-03-10", "--record-every", "20", "--journal", journal});
    Port port(sim.device_path());

    port.Send("(QND)");
    const std::string first = port.ReadTransfer();
    ASSERT_GE(first.size(), 11u);
    EXPECT_EQ(first.substr(0, 4), "(ND0");
    EXPECT_EQ(first[10], ')');
    const std::size_t first_size = AnnouncedSize(first);
    EXPECT_EQ(first.size() - 11, first_size);
    EXPECT_GT(first_size, 150'000u);
    EXPECT_EQ(first.substr(11, 7), "RESET\r\n");  // the oldest day begins with a power-on
    ASSERT_FALSE(Frames(first.substr(11)).empty());
    EXPECT_EQ(Frames(first.substr(11)).front().substr(4, 8), "07032024");
    ASSERT_TRUE(sim.WaitForLog("transfer-end complete " + std::to_string(first_size), 2s));

    // Not acknowledged: the same again, with what the logger wrote meanwhile.
    std::this_thread::sleep_for(100ms);
    port.Send("(QND)");
    const std::string second = port.ReadTransfer();
    const std::size_t second_size = AnnouncedSize(second);
    EXPECT_EQ(second.size() - 11, second_size);
    EXPECT_GT(second_size, first_size);
    EXPECT_EQ(second.substr(11, first_size), first.substr(11));

    port.Send("(SDD)");
    ASSERT_TRUE(sim.WaitForLog("ack " + std::to_string(second_size), 2s)) << sim.Log();
    std::this_thread::sleep_for(100ms);
    port.Send("(QND)");
    const std::string third = port.ReadTransfer();
    const std::size_t third_size = AnnouncedSize(third);
    EXPECT_EQ(third.size() - 11, third_size);
    EXPECT_GT(third_size, 0u);
    EXPECT_LT(third_size, 10'000u);
    // Only records written while running, dated from the start on.
    const std::vector<std::string> newer = Frames(third.substr(11));
    ASSERT_FALSE(newer.empty());
    for (const std::string& frame : newer)
        EXPECT_EQ(frame.substr(4, 8), "10032024") << frame;

    // The acknowledged transfer and the newer one hold every record the logger wrote up
    // to now, each once and in order.
    std::vector<std::string> delivered = Frames(second.substr(11));
    delivered.insert(delivered.end(), newer.begin(), newer.end());
    std::ifstream journal_file(journal);
    std::vector<std::string> recorded;
    for (std::string line; recorded.size() < delivered.size() && std::getline(journal_file, line);)
        recorded.push_back(line);
    EXPECT_EQ(delivered, recorded);
    EXPECT_EQ(sim.Log().find("ignored"), std::string::npos) << sim.Log();
}

// Characters line noise may hold: none that could start a header, a frame or a marker.
bool IsNoise(const std::string& bytes) {
    std::string meaningful = "()<>ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    meaningful += '\0';
    return bytes.find_first_of(meaningful) == std::string::npos;
}

// A flash image for byte-exact transfers, started with `arguments` after it.
struct HandWrittenSim {
    explicit HandWrittenSim(std::vector<std::string> arguments) : sim(WithFlash(arguments)) {}
    std::vector<std::string> WithFlash(std::vector<std::string>& arguments) {
        std::ofstream(flash_path, std::ios::binary) << HandWrittenFlash();
        arguments.insert(arguments.begin(), {"--flash", flash_path});
        return arguments;
    }
    testing::TempFolder folder;
    std::string flash_path = folder / "flash.bin";
    SimProcess sim;
};

TEST(SimEndToEnd, FaultsOfAFlashTransfer) {
    const std::string flash = HandWrittenFlash();
    ASSERT_EQ(flash.size(), 2000u);
    struct Expected {
        std::size_t noise = 0;  // bytes before the header
        std::size_t payload = 2000;
        std::size_t extra = 0;  // bytes after the payload
    };
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        Expected first, second;
        std::string log;
        std::chrono::milliseconds first_lasts_at_least{0};
    } cases[] = {
        {"no fault", {}, {}, {}, "transfer-end complete 2000"},
        {"noise before the header", {"--noise", "7"}, {7}, {7}, "transfer-end complete 2000"},
        {"cut short", {"--cut-at", "500"}, {0, 500}, {0, 500}, "transfer-end cut 500"},
        {"more than announced",
         {"--extra", "9"},
         {0, 2000, 9},
         {0, 2000, 9},
         "transfer-end complete 2009"},
        {"a stall", {"--stall-at", "300:400"}, {}, {}, "stall 400 ms at 300", 400ms},
        {"faults on the first transfer only",
         {"--cut-at", "500", "--noise", "3", "--faults-once"},
         {3, 500},
         {},
         "transfer-end cut 500"},
        {"faults on every transfer",
         {"--cut-at", "100", "--noise", "3"},
         {3, 100},
         {3, 100},
         "transfer-end cut 100"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> arguments = {"--pace", "max"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        HandWrittenSim device(arguments);
        Port port(device.sim.device_path());
        for (const Expected& expected : {c.first, c.second}) {
            const bool first = &expected == &c.first;
            const auto began = Clock::now();
            port.Send("(QAD)");
            const std::string got =
                port.Read(expected.noise + 11 + expected.payload + expected.extra, 200ms);
            const auto took = Clock::now() - began - 200ms;
            ASSERT_EQ(got.size(), expected.noise + 11 + expected.payload + expected.extra)
                << (first ? "first" : "second") << " transfer";
            EXPECT_TRUE(IsNoise(got.substr(0, expected.noise)));
            EXPECT_EQ(got.substr(expected.noise, 11), "(AD00007D0)");
            EXPECT_EQ(got.substr(expected.noise + 11, expected.payload),
                      flash.substr(0, expected.payload));
            EXPECT_TRUE(IsNoise(got.substr(expected.noise + 11 + expected.payload)));
            if (first) {
                EXPECT_GE(took, c.first_lasts_at_least);
            }
        }
        EXPECT_TRUE(device.sim.WaitForLog(c.log, 1s)) << device.sim.Log();
    }
}

TEST(SimEndToEnd, ButtonStopClearAndCommandsOutOfTurn) {
    const std::string flash = HandWrittenFlash();
    HandWrittenSim device({"--pace", "1"});
    SimProcess& sim = device.sim;
    Port port(sim.device_path());

    // The reader's button brings new data unasked.
    sim.PressButton();
    EXPECT_EQ(port.ReadTransfer(), "(ND00007D0)" + flash);
    EXPECT_TRUE(sim.WaitForLog("button", 1s));

    // At the line's pace the 2011 bytes take 175 ms: time to interrupt them.
    port.Send("(QAD)");
    std::string got = port.Read(300, 0ms);
    port.Send("(QND)(XYZ)");
    port.Send("(SSS)");
    got += port.ReadUntilQuiet(300ms);
    EXPECT_LT(got.size(), 2011u);
    EXPECT_EQ(got, ("(AD00007D0)" + flash).substr(0, got.size()));
    EXPECT_TRUE(sim.WaitForLog("ignored (QND) busy", 1s));
    EXPECT_TRUE(sim.WaitForLog("ignored (XYZ) busy", 1s));
    EXPECT_TRUE(sim.WaitForLog("transfer-end stopped ", 1s));

    port.Send("(XYZ)");
    EXPECT_TRUE(sim.WaitForLog("ignored (XYZ) unknown", 1s));
    port.Send("(SEF)");
    EXPECT_TRUE(sim.WaitForLog("flash-cleared 2000", 1s));
    port.Send("(QND)");
    EXPECT_EQ(port.ReadTransfer(), "(ND0000000)");
    port.Send("(QAD)");
    EXPECT_EQ(port.ReadTransfer(), "(AD0000000)");
}

TEST(SimEndToEnd, SelfTestReportEndsWithTheEndLine) {
    HandWrittenSim device({"--pace", "4"});  // 50 ms between lines
    Port port(device.sim.device_path());
    const auto began = Clock::now();
    port.Send("(QTF)");
    const std::string report = port.ReadUntilQuiet(300ms);
    const auto took = Clock::now() - began - 300ms;
    ASSERT_TRUE(report.ends_with("\r\nTest is finished\r\n")) << report;
    const std::vector<std::string> lines = Lines(report);
    ASSERT_GE(lines.size(), 4u);
    for (const std::string& line : lines)
        EXPECT_TRUE(line.ends_with("\r")) << line;
    EXPECT_NE(report.find("2000 used"), std::string::npos) << report;
    EXPECT_GE(took, (lines.size() - 1) * 50ms);
    EXPECT_TRUE(device.sim.WaitForLog("test-report sent", 1s));
}

TEST(SimEndToEnd, VanishingMidTransferClosesTheLineAndEnds) {
    HandWrittenSim device({"--pace", "10", "--vanish-at", "1000"});
    Port port(device.sim.device_path());
    port.Send("(QAD)");
    const std::string got = port.ReadUntilQuiet(300ms);
    EXPECT_TRUE(port.hung_up());
    EXPECT_EQ(got.size(), 1011u);
    EXPECT_EQ(got, ("(AD00007D0)" + HandWrittenFlash()).substr(0, got.size()));
    EXPECT_EQ(device.sim.WaitForExit(2s), 0);
    EXPECT_TRUE(device.sim.WaitForLog("vanished at 1000", 1s)) << device.sim.Log();
}

}  // namespace
}  // namespace korvalen
