// Data the reader sends again: korvalen-read against simulated loggers whose transfers end
// short (cut by the line, stopped by the operator, the program killed) before a complete
// read. Each story ends with reads until nothing is new, and the InBox then holds every
// record of what the loggers held exactly once (or, after a "read all", twice, as asked).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
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

// What a read does to its transfer.
enum class Ending {
    Whole,    // runs to its end, whatever the reader sends
    Stopped,  // Ctrl+C once the dump holds `at` bytes
    Killed,   // the program killed once the dump holds `at` bytes
};

struct Read {
    int logger = 0;  // which of the story's loggers
    bool all = false;
    Ending ending = Ending::Whole;
    std::int64_t at = 0;
    bool after_new_records = false;  // waits for the logger to write its --records first
};

struct Story {
    const char* name;
    std::vector<std::vector<std::string>> loggers;  // each one's options
    std::vector<Read> reads;
    int times = 1;  // how often each record is delivered
};

// True once the reader's last transfer of new data was empty: it has nothing new.
bool Drained(const std::string& sim_log) {
    const std::size_t last = sim_log.rfind("transfer ND ");
    return last != std::string::npos && sim_log.compare(last, 14, "transfer ND 0\n") == 0;
}

std::vector<std::string> Logger(unsigned seed, std::vector<std::string> faults) {
    std::vector<std::string> options{"--pace",     "2",      "--vehicles",        "3",
                                     "--size",     "40000",  "--all-with-id",     "--start",
                                     "2026-12-01", "--seed", std::to_string(seed)};
    options.insert(options.end(), faults.begin(), faults.end());
    return options;
}

class SentAgain : public ::testing::Test {
  protected:
    void ReadOnce(const Read& read, const SimProcess& sim) {
        ChildProcess tool({KORVALEN_READ_PATH, read.all ? "--all" : "--new", "--data", data, "-o",
                           inbox, sim.device_path()},
                          {}, folder / "read.log");
        if (read.ending != Ending::Whole) {
            const auto deadline = std::chrono::steady_clock::now() + 30s;
            while (std::chrono::steady_clock::now() < deadline && !tool.Wait(10ms) &&
                   FileSize(data + "Korvalen.trc").value_or(0) < read.at) {
            }
            tool.Signal(read.ending == Ending::Stopped ? SIGINT : SIGKILL);
        }
        ASSERT_TRUE(tool.Wait(60s)) << "korvalen-read did not end";
    }

    testing::TempFolder folder;
    std::string data = folder / "Data/";
    std::string inbox = folder / "InBox/";
};

TEST_F(SentAgain, EveryRecordOnceAfterTransfersThatEndedShort) {
    const Story stories[] = {
        {"cut by the line at half, then a complete read",
         {Logger(1, {"--cut-at", "20000", "--faults-once", "--record-every", "0"})},
         {{}},
         1},
        {"stopped by the operator, then a complete read",
         {Logger(2, {"--record-every", "0"})},
         {{.ending = Ending::Stopped, .at = 15000}},
         1},
        {"two short transfers, then a complete one",
         {Logger(3, {"--cut-at", "10000", "--faults-once", "--record-every", "0"})},
         {{}, {.ending = Ending::Stopped, .at = 25000}},
         1},
        {"a short transfer, new records, then a complete read",
         {Logger(
             4, {"--cut-at", "20000", "--faults-once", "--record-every", "50", "--records", "40"})},
         {{}, {.after_new_records = true}},
         1},
        {"a short transfer of one logger, then a complete read of another",
         {Logger(5, {"--cut-at", "20000", "--faults-once", "--record-every", "0"}),
          Logger(6, {"--record-every", "0"})},
         {{.logger = 0}, {.logger = 1}},
         1},
        {"the program killed during a capture, then a complete read",
         {Logger(7, {"--record-every", "0"})},
         {{.ending = Ending::Killed, .at = 20000}},
         1},
        {"a short transfer, then read all",
         {Logger(8, {"--cut-at", "20000", "--faults-once", "--record-every", "0"})},
         {{}, {.all = true}},
         2},
    };
    for (const Story& story : stories) {
        SCOPED_TRACE(story.name);
        std::filesystem::remove_all(folder / "Data");
        std::filesystem::remove_all(folder / "InBox");
        std::vector<std::unique_ptr<SimProcess>> sims;
        std::vector<std::string> journals;
        for (std::size_t n = 0; n < story.loggers.size(); ++n) {
            journals.push_back(folder / ("logger-" + std::to_string(n) + ".txt"));
            std::vector<std::string> options = story.loggers[n];
            options.insert(options.end(), {"--journal", journals.back()});
            sims.push_back(std::make_unique<SimProcess>(options));
        }
        for (const Read& read : story.reads) {
            // A logger that records for ever would have new data at every read.
            if (read.after_new_records) {
                ASSERT_TRUE(sims[read.logger]->WaitForLog("recording-ended", 30s));
            }
            ReadOnce(read, *sims[read.logger]);
            if (HasFatalFailure())
                return;
        }
        // Read until every reader has nothing new: it has forgotten everything.
        std::vector<testing::LoggerRecord> loggers;
        for (std::size_t n = 0; n < sims.size(); ++n) {
            for (int start = 0; start < 6 && !Drained(sims[n]->Log()); ++start)
                ReadOnce({.logger = static_cast<int>(n)}, *sims[n]);
            ASSERT_TRUE(Drained(sims[n]->Log())) << sims[n]->Log();
            loggers.push_back({journals[n], sims[n]->Log()});
        }
        if (story.times == 1) {
            const testing::RoadFindings findings =
                testing::CheckRoad(data, inbox, folder / "check", loggers);
            for (const std::string& problem : findings.problems)
                ADD_FAILURE() << problem;
            continue;
        }
        // Each record as often as it was asked for: every record of the logger in the
        // InBox `times` times.
        std::map<testing::PlainRecord, int> delivered;
        for (const testing::InboxRecord& r : testing::InboxRecords(inbox))
            ++delivered[testing::Plain(r)];
        testing::WriteTestFile(folder / "logger.trc", testing::ReadTestFile(journals[0]));
        std::map<testing::PlainRecord, int> written;
        for (const testing::InboxRecord& r :
             testing::road_checks_detail::DecodedOnce(folder / "logger.trc", folder / "check"))
            ++written[testing::Plain(r)];
        int off = 0;
        for (const auto& [record, times] : written)
            off += delivered[record] == times * story.times ? 0 : 1;
        EXPECT_EQ(off, 0) << "of " << written.size() << " records";
    }
}

}  // namespace
}  // namespace korvalen
