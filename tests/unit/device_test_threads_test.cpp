// The device test: the report's lines as they arrive, and when a run starts and ends.
#include "serial/device_test.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_serial_port.h"
#include "test_clocks.h"

namespace korvalen {
namespace {

using testing::FakeSerialPort;
using testing::TickClock;
using Lines = std::vector<std::string>;

TEST(TestOutputLines, Collect) {
    const struct {
        const char* name;
        std::vector<std::string> reads;
        Lines lines;
        bool finished;  // after the last read
    } cases[] = {
        {"a whole report",
         {"a\r\nb\r\nTest is finished\r\n"},
         {"a", "b", "Test is finished", ""},
         true},
        {"a line split over two reads", {"ab", "c\r\n"}, {"abc", ""}, false},
        {"a line feed alone ends nothing", {"a\nb"}, {"ab"}, false},
        {"a carriage return alone ends a line", {"a\rb"}, {"a", "b"}, false},
        {"the end line still being received",
         {"Test is fin", "ished"},
         {"Test is finished"},
         false},
        {"the end line completed by the next read",
         {"Test is finished", "\r"},
         {"Test is finished", ""},
         true},
        {"anything after the end line", {"Test is finished\r\nx"}, {"Test is finished", "x"}, true},
        {"only the exact end line", {" Test is finished\r\n"}, {" Test is finished", ""}, false},
        {"an empty read", {""}, {""}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Lines lines;
        bool finished = false;
        for (const std::string& read : c.reads)
            finished = CollectTestOutput(lines, read);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(finished, c.finished);
    }
}

// The dialog as the run sees it: its list and every change of the buttons.
class RecordingTestHost : public DeviceTestHost {
  public:
    void ShowLines(std::size_t first, const Lines& changed) override {
        shown.resize(first);
        shown.insert(shown.end(), changed.begin(), changed.end());
    }
    void SetRunning(bool running) override { events.push_back(running ? "busy" : "idle"); }
    void ShowMessage(std::string_view text, std::string_view, MessageIcon) override {
        events.push_back("message " + std::string(text));
    }
    Lines shown;
    std::vector<std::string> events;
};

class DeviceTestRun : public ::testing::Test {
  protected:
    // Lets `arriving` arrive, moves the clock on by `after_ms` and polls once.
    bool Poll(const std::string& arriving, std::uint32_t after_ms = DeviceTest::kPollMs) {
        port.Arrive(arriving);
        clock.ticks += after_ms;
        return test.PollOnce();
    }

    FakeSerialPort port;
    ManualResetEvent stop;
    RecordingTestHost host;
    TickClock clock;
    DeviceTest test{port, stop, host, clock};
};

TEST_F(DeviceTestRun, EndsAtTheEndLineAndShowsTheLinesAsTheyCome) {
    // No answer yet: the run waits with the buttons enabled, however long.
    EXPECT_FALSE(Poll("", 60'000));
    EXPECT_TRUE(host.events.empty());

    EXPECT_FALSE(Poll("Flash: 2000 us"));
    EXPECT_TRUE(test.running());
    EXPECT_EQ(host.shown, (Lines{"Flash: 2000 us"}));
    EXPECT_FALSE(Poll("ed\r\nGPS: ok\r\n"));
    EXPECT_EQ(host.shown, (Lines{"Flash: 2000 used", "GPS: ok", ""}));
    // Text ends at a zero byte; what follows it in the same read is dropped.
    EXPECT_FALSE(Poll(std::string("Test is finished\r\n\0junk", 24)));
    EXPECT_EQ(host.shown, (Lines{"Flash: 2000 used", "GPS: ok", "Test is finished", ""}));
    EXPECT_EQ(host.events, (std::vector<std::string>{"busy"}));
    EXPECT_TRUE(Poll(""));
    EXPECT_FALSE(test.running());
    EXPECT_EQ(host.events, (std::vector<std::string>{"busy", "idle"}));
}

TEST_F(DeviceTestRun, EndsAfterFiveSecondsOfSilenceAndTellsOfAFailedRead) {
    EXPECT_FALSE(Poll("line 1\r\n"));
    port.fail_read = true;
    EXPECT_FALSE(Poll("lost"));
    port.fail_read = false;
    EXPECT_EQ(port.calls(), (std::vector<std::string>{"purge"}));
    EXPECT_FALSE(Poll("line 2"));
    EXPECT_FALSE(Poll("", DeviceTest::kSilenceMs - 1));
    EXPECT_TRUE(Poll("", 1));
    EXPECT_EQ(host.shown, (Lines{"line 1", "line 2"}));
    EXPECT_EQ(host.events,
              (std::vector<std::string>{
                  "busy", "idle",
                  "message В ходе чтения данных из CОM-порта произошла ошибка. Попробуйте "
                  "повторить считывание!"}));
}

TEST_F(DeviceTestRun, AStopEndsTheRunAtOnceAndSilently) {
    port.Arrive("half a li");
    stop.Set();
    test.Run();
    EXPECT_TRUE(test.running());  // nothing is done at a stop: the dialog is going
    EXPECT_EQ(host.events, (std::vector<std::string>{"busy"}));
}

}  // namespace
}  // namespace korvalen
