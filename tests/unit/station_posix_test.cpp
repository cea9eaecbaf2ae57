// A station with two readers delivering into one InBox: two korvalen-read --wait, each
// with a data folder of its own, their loggers' vehicles of the same numbers, both buttons
// pressed together again and again, so that their passes run at once and pick the same
// names in the same second. Every record of both reaches the InBox at once and once,
// every file whole.
#include <gtest/gtest.h>
#include <signal.h>

#include <array>
#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "child_process.h"
#include "platform/text_codec.h"
#include "road_checks.h"
#include "sim_process.h"
#include "temp_folder.h"

#ifndef KORVALEN_READ_PATH
#error "KORVALEN_READ_PATH must name the built korvalen-read"
#endif

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::SimProcess;

int Count(const std::string& text, const std::regex& what) {
    return static_cast<int>(std::distance(std::sregex_iterator(text.begin(), text.end(), what),
                                          std::sregex_iterator()));
}

TEST(Station, TwoReadersDeliverEveryRecordIntoOneInBoxOnce) {
    constexpr int kPresses = 16;
    testing::TempFolder folder;
    const std::string inbox = folder / "InBox/";
    struct Reader {
        std::string data;
        std::string journal;
        std::unique_ptr<SimProcess> sim;
        std::unique_ptr<ChildProcess> tool;
    };
    std::array<Reader, 2> readers;
    for (std::size_t n = 0; n < readers.size(); ++n) {
        Reader& reader = readers[n];
        reader.data = folder / ("Data" + std::to_string(n) + "/");
        reader.journal = folder / ("logger-" + std::to_string(n) + ".txt");
        // The logger records while the station runs: every transfer brings new records.
        reader.sim = std::make_unique<SimProcess>(std::vector<std::string>{
            "--pace", "max", "--vehicles", "3", "--size", "150000", "--all-with-id", "--start",
            "2026-12-01", "--record-every", "30", "--seed", std::to_string(n + 1), "--journal",
            reader.journal});
        reader.tool = std::make_unique<ChildProcess>(
            std::vector<std::string>{KORVALEN_READ_PATH, "--wait", "--data", reader.data, "-o",
                                     inbox, reader.sim->device_path()},
            std::vector<std::string>{}, folder / ("station-" + std::to_string(n) + ".log"));
        const std::string station_log = folder / ("station-" + std::to_string(n) + ".log");
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (testing::ReadTestFile(station_log).find("waiting for the reader") ==
                   std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_NE(testing::ReadTestFile(station_log).find("waiting for the reader"),
                  std::string::npos);
    }
    const std::regex passed("декодирование .*доставлено файлов");
    const auto read_log = [](const Reader& reader) {
        std::string bytes;
        ReadWholeFile(reader.data + "Korvalen.log", bytes);  // none before the first line
        return Cp1251ToUtf8(bytes);
    };
    const auto passes = [&](const Reader& reader) { return Count(read_log(reader), passed); };
    for (int press = 1; press <= kPresses; ++press) {
        for (Reader& reader : readers)
            reader.sim->PressButton();
        // Each transfer delivered at once: its pass done before the next press.
        for (const Reader& reader : readers) {
            const auto deadline = std::chrono::steady_clock::now() + 20s;
            while (passes(reader) < press && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(10ms);
            ASSERT_EQ(passes(reader), press) << reader.sim->Log();
        }
    }
    // Nothing waits: every pass delivered what it said, while the station ran.
    std::vector<testing::LoggerRecord> loggers;
    std::vector<std::string> data_folders;
    for (Reader& reader : readers) {
        const std::string log = read_log(reader);
        EXPECT_EQ(log.find("не доставлено"), std::string::npos) << log;
        reader.tool->Signal(SIGINT);
        ASSERT_TRUE(reader.tool->Wait(10s));
        data_folders.push_back(reader.data);
    }
    // The readers forgot what was acknowledged; what they hold now was never read.
    for (Reader& reader : readers) {
        EXPECT_EQ(Count(reader.sim->Log(), std::regex(" ack [0-9]")), kPresses)
            << reader.sim->Log();
        loggers.push_back({reader.journal, reader.sim->Log()});
    }
    const testing::RoadFindings findings =
        testing::CheckRoad(data_folders, inbox, folder / "check", loggers);
    for (const std::string& problem : findings.problems) {
        // Records written after the last press are still in the loggers.
        if (problem.find("records the logger wrote are missing") == std::string::npos)
            ADD_FAILURE() << problem;
    }
}

}  // namespace
}  // namespace korvalen
