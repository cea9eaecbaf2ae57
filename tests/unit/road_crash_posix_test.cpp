// The crash campaign: korvalen-read, which runs the whole road (capture from the simulated
// reader, acknowledgement, archive, pass, delivery), killed at every step boundary and at
// random instants, then started again until the reader has nothing new. Each round checks
// the InBox against the dumps the archive kept: every transfer in it exactly once, every
// message file whole, nothing left half done, and no record the reader forgot missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "decode_test_support.h"
#include "road_checks.h"
#include "sim_process.h"

#ifndef KORVALEN_READ_PATH
#error "KORVALEN_READ_PATH must name the built korvalen-read"
#endif

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::ReadTestFile;
using testing::SimProcess;

// The places where the road's state on the disk changes (see the program's CrashPoint
// calls): a program that ends at any of them must lose nothing and deliver nothing twice.
const char* const kStepBoundaries[] = {"capturing", "pending", "sent",      "acknowledged",
                                       "archived",  "staged",  "committed", "done"};

// One round's kill: at a step boundary, or after some milliseconds.
struct Kill {
    std::string point;
    int after_ms = -1;
    int recovery_after_ms = -1;  // the next start killed as well, while it recovers
};

class RoadCrashCampaign : public ::testing::Test {
  protected:
    // One start of the tool; its status (86: ended at its crash point, -1: killed).
    int Run(const SimProcess& sim, const std::string& point, int kill_after_ms) {
        std::vector<std::string> environment;
        if (!point.empty())
            environment.push_back("KORVALEN_CRASH_AT=" + point);
        ChildProcess child(
            {KORVALEN_READ_PATH, "--new", "--data", data, "-o", inbox, sim.device_path()},
            environment, folder / "read.log");
        if (kill_after_ms >= 0) {
            if (child.Wait(std::chrono::milliseconds(kill_after_ms)))
                return *child.Wait(0ms);
            child.Kill();
        }
        const auto status = child.Wait(60s);
        EXPECT_TRUE(status) << "korvalen-read did not end";
        return status.value_or(-2);
    }

    // One round on a fresh reader and fresh folders; the counts go to the totals.
    void Round(const Kill& kill, unsigned seed) {
        std::filesystem::remove_all(folder / "Data");
        std::filesystem::remove_all(folder / "InBox");
        const std::string journal = folder / "logger.txt";
        SimProcess sim({"--pace", "max", "--size", "16000", "--all-with-id", "--start",
                        "2026-12-01", "--record-every", "0", "--seed", std::to_string(seed),
                        "--journal", journal});
        Run(sim, kill.point, kill.after_ms);
        if (kill.recovery_after_ms >= 0)
            Run(sim, "", kill.recovery_after_ms);
        // Started again until a read finds nothing new: everything is acknowledged.
        bool drained = false;
        for (int start = 0; start < 8 && !drained; ++start) {
            const int status = Run(sim, "", -1);
            const std::string log = sim.Log();
            const std::size_t last = log.rfind("transfer ND ");
            drained = status == 0 && last != std::string::npos &&
                      log.compare(last, 14, "transfer ND 0\n") == 0;
        }
        ASSERT_TRUE(drained) << sim.Log() << ReadTestFile(folder / "read.log");
        Check(journal, sim.Log());
    }

    void Check(const std::string& logger_journal, const std::string& sim_log) {
        const testing::RoadFindings findings =
            testing::CheckRoad(data, inbox, folder / "check", {{logger_journal, sim_log}});
        for (const std::string& problem : findings.problems)
            ADD_FAILURE() << problem;
        records_written += findings.records_written;
        records_missing += findings.records_missing;
        records_found += findings.records_found;
        records_again += findings.records_again;
    }

    testing::TempFolder folder;
    std::string data = folder / "Data/";
    std::string inbox = folder / "InBox/";
    int records_written = 0;
    int records_found = 0;
    int records_again = 0;
    int records_missing = 0;
};

TEST_F(RoadCrashCampaign, EveryTransferReachesTheInBoxOnceWhateverMomentTheProgramEnds) {
    std::vector<Kill> kills;
    for (const char* point : kStepBoundaries)
        kills.push_back({point, -1, -1});
    // A full read takes about half a second here: the instants fall over all of it, and
    // every third round the start after it is killed too, in the middle of its recovery.
    const char* runs = std::getenv("KORVALEN_CRASH_RUNS");
    const int random_kills = runs ? std::atoi(runs) : 24;
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> instant(0, 900);
    std::uniform_int_distribution<int> recovery_instant(0, 300);
    for (int i = 0; i < random_kills; ++i)
        kills.push_back({"", instant(random), i % 3 == 2 ? recovery_instant(random) : -1});

    unsigned seed = 1;
    for (const Kill& kill : kills) {
        SCOPED_TRACE(kill.point.empty() ? "killed after " + std::to_string(kill.after_ms) + " ms"
                                        : "ended at " + kill.point);
        Round(kill, seed++);
        if (HasFatalFailure())
            return;
    }
    std::printf(
        "crash campaign: %zu kills; the logger wrote %d records, %d of them found in the "
        "InBox, %d missing; %d delivered more than once\n",
        kills.size(), records_written, records_found, records_missing, records_again);
}

}  // namespace
}  // namespace korvalen
