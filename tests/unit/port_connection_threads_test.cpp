// Opening and closing the port, and the one reading thread per open port.
#include "serial/port_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fake_serial_port.h"
#include "recording_road.h"
#include "serial/reading_thread.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using testing::FakeSerialPort;
using testing::RecordingRoad;

// Hands out fake ports (the connection owns them; the test keeps a view of the last)
// and refuses the device "missing".
class PortConnectionTest : public ::testing::Test {
  protected:
    PortConnection::Opener Opener() {
        return [this](const std::string& device, int& error_code) -> std::unique_ptr<SerialPort> {
            if (device == "missing") {
                error_code = 2;
                return nullptr;
            }
            auto port = std::make_unique<FakeSerialPort>();
            last_port = port.get();
            return port;
        };
    }

    // The threads that poll the port over a few polls.
    std::size_t PollingThreads() {
        std::this_thread::sleep_for(3 * std::chrono::milliseconds(ReadingThread::kPollMs));
        last_port->TakePollingThreads();
        std::this_thread::sleep_for(3 * std::chrono::milliseconds(ReadingThread::kPollMs));
        return last_port->TakePollingThreads().size();
    }

    testing::TempFolder folder;
    RecordingRoad host;
    DecodeJobs jobs{folder / "Data/", Settings(), host, host};
    FakeSerialPort* last_port = nullptr;
    PortConnection connection{jobs, SystemClock(), Opener()};
};

TEST_F(PortConnectionTest, OpeningSetsThePortUpForTheReader) {
    ASSERT_TRUE(connection.Open("COM1"));
    EXPECT_EQ(connection.status(), PortStatus::Open);
    const auto calls = last_port->calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(
        std::vector<std::string>(calls.begin(), calls.begin() + 5),
        (std::vector<std::string>{"timeouts", "mask", "line on", "queues 10000/1024", "purge"}));
    EXPECT_EQ(PollingThreads(), 1u);

    connection.Close();
    EXPECT_EQ(connection.status(), PortStatus::Closed);
    std::this_thread::sleep_for(2 * std::chrono::milliseconds(ReadingThread::kPollMs));
    EXPECT_FALSE(connection.reader_running());
}

TEST_F(PortConnectionTest, AFailedOpeningStartsNoReader) {
    EXPECT_FALSE(connection.Open("missing"));
    EXPECT_EQ(connection.status(), PortStatus::Failed);
    EXPECT_EQ(connection.open_error(), 2);
    EXPECT_FALSE(connection.reader_running());
}

// However quickly the port is closed and opened again, one thread polls it afterwards.
TEST_F(PortConnectionTest, OneReaderPerOpenPort) {
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(connection.Open("COM1"));
        connection.Close();
        if (i % 5 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ReadingThread::kPollMs));
    }
    ASSERT_TRUE(connection.Open("COM1"));
    EXPECT_EQ(PollingThreads(), 1u);
    EXPECT_TRUE(connection.reader_running());
}

TEST_F(PortConnectionTest, StoppingATransfer) {
    ASSERT_TRUE(connection.Open("COM1"));
    std::vector<std::chrono::milliseconds> pauses;
    const std::size_t before = last_port->calls().size();
    connection.StopTransfer([&](std::chrono::milliseconds pause) { pauses.push_back(pause); });
    const auto calls = last_port->calls();
    EXPECT_EQ(
        std::vector<std::string>(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end()),
        (std::vector<std::string>{"write (SSS)", "discard input", "line off", "discard input",
                                  "line on"}));
    EXPECT_EQ(pauses, std::vector<std::chrono::milliseconds>{200ms});
}

}  // namespace
}  // namespace korvalen
