// Power cuts on the road: korvalen-read with the file layer preloaded, ended just before
// its k-th call that writes, syncs, creates, renames or removes; its folders rebuilt as a
// power cut at that instant leaves them; started again until the reader has nothing new;
// then the road's checks (tests/unit/road_checks.h): every record the logger wrote in the
// InBox, none more often than the reader sent it (an acknowledged transfer's exactly
// once), every message file whole, nothing left half done.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

#include "power_cut_harness.h"
#include "road_checks.h"
#include "road_runs.h"
#include "temp_folder.h"

namespace korvalen::powercut {
namespace {

namespace fs = std::filesystem;
using testing::SimProcess;
using testing::TempFolder;

// A story whose crash points the test tries.
struct Road {
    std::string name;
    bool earlier_read = true;  // Data and InBox hold what an earlier read left
    std::string faults;        // planted in the run that is cut
};

const Road kExistingFolders{"(a) a read into existing Data and InBox", true, ""};
const Road kFirstRead{"(b) a first read that creates Data and InBox", false, ""};
const Road kMoveFails{"(c) a read whose move into the InBox fails once", true,
                      "move:InBox:1:ENOSPC"};

std::vector<std::string> ReadInto(const std::string& root, const SimProcess& sim) {
    return ReadArguments(root + "/Data/", root + "/InBox/", sim.device_path());
}

// A point with what the layer saw of its runs.
struct Outcome {
    PointResult point;
    RunSummary first;
    RunSummary second;
};

class RoadPowerCut : public ::testing::Test {
  protected:
    // The folders of an earlier read (of another logger), made once for every point, and
    // that logger's records and reader's log, which the checks account for too.
    static const std::string& EarlierRead(testing::LoggerRecord* logger = nullptr) {
        static TempFolder folder;
        static testing::LoggerRecord earlier;
        static const std::string root = [] {
            const std::string path = folder / "root";
            fs::create_directory(path);
            earlier.journal = folder / "logger.txt";
            SimProcess sim(LoggerArguments(7, earlier.journal, "2026-11-20"));
            const int status = RunTool(ReadInto(path, sim), std::nullopt, folder / "read.log");
            if (status != 0)
                throw std::runtime_error("the earlier read failed: " + std::to_string(status));
            earlier.sim_log = sim.Log();
            return path;
        }();
        if (logger)
            *logger = earlier;
        return root;
    }

    // One point: fresh folders and a fresh logger; the first run under the layer, cut at
    // `cut` (0: not cut, only counted); with `second_cut` its next start under the layer
    // too (0: counted); the folders rebuilt after each cut; then started until drained,
    // and checked.
    Outcome Point(const Road& road, std::uint64_t cut,
                  std::optional<std::uint64_t> second_cut = std::nullopt) {
        TempFolder folder;
        const std::string root = folder / "root";
        if (road.earlier_read)
            fs::copy(EarlierRead(), root, fs::copy_options::recursive);
        else
            fs::create_directory(root);
        const std::string journal = folder / "logger.txt";
        SimProcess sim(LoggerArguments(1, journal, "2026-12-01"));
        const std::string log = folder / "read.log";
        Outcome outcome;
        PointResult& result = outcome.point;
        result.cut = cut;

        // A start under the layer; rebuilt when the layer cut it. False when the run
        // ended before its cut.
        const auto layered = [&](const std::string& name, std::uint64_t at,
                                 const std::string& faults, RunSummary& summary) {
            const std::string before = folder / (name + ".before");
            const std::string store = folder / (name + ".store");
            TakeSnapshot(root, before);
            const int status =
                RunTool(ReadInto(root, sim), LayerPlan{root, store, at, faults}, log);
            summary = Summarize(ReadEvents(store));
            for (const std::string& what : summary.unmodelled)
                result.problems.push_back("the layer cannot follow " + what);
            if (at == 0)
                return true;
            if (status != kCutStatus)
                return false;
            RebuildAfterPowerCut(root, before, store);
            return true;
        };
        result.reached = layered("first", cut, road.faults, outcome.first);
        if (!result.reached)
            return outcome;
        result.after_ack = outcome.first.ack_after.has_value();
        result.cut_call = outcome.first.last_call;
        if (second_cut) {
            result.reached = layered("second", *second_cut, "", outcome.second);
            if (!result.reached)
                return outcome;
            result.cut_call += "; then cut at " + std::to_string(*second_cut) +
                               " of the next start, before " + outcome.second.last_call;
        }

        int status = 0;
        bool drained = false;
        for (int start = 0; start < 8 && !drained; ++start) {
            status = RunTool(ReadInto(root, sim), std::nullopt, log);
            drained = status == 0 && Drained(sim.Log());
        }
        if (!drained) {
            result.problems.push_back("the reader still had data after 8 starts (status " +
                                      std::to_string(status) + ")");
        } else {
            std::vector<testing::LoggerRecord> loggers{{journal, sim.Log()}};
            if (road.earlier_read) {
                loggers.emplace_back();
                EarlierRead(&loggers.back());
            }
            const testing::RoadFindings findings =
                testing::CheckRoad(root + "/Data/", root + "/InBox/", folder / "check", loggers);
            result.problems.insert(result.problems.end(), findings.problems.begin(),
                                   findings.problems.end());
            result.records = findings.records_written;
        }
        if (!result.problems.empty()) {
            KeepForALook(folder.path(), road.name.substr(1, 1) + "-" + std::to_string(cut) +
                                            (second_cut ? "-" + std::to_string(*second_cut) : ""));
        }
        return outcome;
    }

    // Every chosen point of a story: the sample `sample` picks from the uncut run's
    // counts, or what KORVALEN_POWERCUT_POINTS says.
    void Campaign(const Road& road,
                  const std::function<std::vector<std::uint64_t>(const RunSummary&)>& sample) {
        const auto started = std::chrono::steady_clock::now();
        const Outcome census = Point(road, 0);
        ASSERT_TRUE(census.point.problems.empty())
            << road.name << ", the run without a cut: " << census.point.problems.front();
        const RunSummary& counts = census.first;
        ASSERT_TRUE(counts.ack_after) << road.name << ": no \"(SDD)\" in the run without a cut";
        const PointChoice choice = ChosenPoints();
        PointTally tally(road.name);
        if (choice.all) {
            // The count differs a little from run to run (the pieces the port's reads
            // bring): every point until a run ends before it.
            for (std::uint64_t k = 1;; ++k) {
                const Outcome outcome = Point(road, k);
                if (!outcome.point.reached)
                    break;
                tally.Add(outcome.point);
            }
        } else {
            for (std::uint64_t k : choice.listed.empty() ? sample(counts) : choice.listed)
                tally.Add(Point(road, k).point);
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const std::string report =
            tally.Report(counts.calls, counts.calls - *counts.ack_after, seconds);
        std::printf("%s", report.c_str());
        EXPECT_FALSE(tally.failed()) << report;
    }
};

TEST_F(RoadPowerCut, ReadIntoExistingFolders) {
    // Every third point after "(SDD)", every tenth before it (all of them take about
    // 1.7 s each).
    Campaign(kExistingFolders, [](const RunSummary& counts) {
        std::vector<std::uint64_t> points = Stride(1, *counts.ack_after, 10);
        const auto after = Stride(*counts.ack_after + 1, counts.calls, 3);
        points.insert(points.end(), after.begin(), after.end());
        return points;
    });
}

// A few points of (b) and (c): every tenth after "(SDD)", a few before it.
std::vector<std::uint64_t> FewPoints(const RunSummary& counts) {
    std::vector<std::uint64_t> points = Stride(1, *counts.ack_after, 20);
    const auto after = Stride(*counts.ack_after + 1, counts.calls, 10);
    points.insert(points.end(), after.begin(), after.end());
    return points;
}

TEST_F(RoadPowerCut, FirstReadCreatesTheFolders) {
    Campaign(kFirstRead, FewPoints);
}

TEST_F(RoadPowerCut, MoveIntoTheInBoxFailsOnce) {
    Campaign(kMoveFails, FewPoints);
}

// (d) The first run cut after "(SDD)" (just after it, half-way, at its last calls), its
// recovery at the next start cut again at points spread over that start.
TEST_F(RoadPowerCut, RecoveryCutByASecondPowerCut) {
    const auto started = std::chrono::steady_clock::now();
    const Road& road = kExistingFolders;
    const Outcome census = Point(road, 0);
    ASSERT_TRUE(census.first.ack_after);
    const std::uint64_t calls = census.first.calls;
    const std::uint64_t ack = *census.first.ack_after;
    const PointChoice choice = ChosenPoints();
    const std::vector<std::uint64_t> firsts =
        !choice.listed.empty() ? choice.listed
        : choice.all           ? Stride(ack + 1, calls, 5)
                               : std::vector<std::uint64_t>{ack + 1, (ack + calls) / 2, calls - 1};
    PointTally tally("(d) a recovery cut by a second power cut");
    std::uint64_t second_calls = 0;
    for (std::uint64_t first : firsts) {
        const Outcome counted = Point(road, first, 0);
        if (!counted.point.reached)
            continue;
        const std::uint64_t n = counted.second.calls;
        second_calls += n;
        // By default a third, two thirds and the whole of the recovering start.
        const std::uint64_t step = choice.all ? 1 : std::max<std::uint64_t>(1, n / 3);
        for (std::uint64_t second : Stride(step, n, step))
            tally.Add(Point(road, first, second).point);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string report =
        tally.Report(second_calls, std::nullopt, seconds) +
        "  (each first cut after \"(SDD)\"; crash points: those of the recovering starts)\n";
    std::printf("%s", report.c_str());
    EXPECT_FALSE(tally.failed()) << report;
}

// The harness has teeth: with syncs that do nothing (all of them, or the folders'), no
// road can keep what the reader has forgotten, and every point after "(SDD)" must show it.
TEST_F(RoadPowerCut, PlantedSyncsThatDoNothingLoseRecords) {
    for (const char* faults : {"nosync", "nosync-folders"}) {
        Road road = kExistingFolders;
        road.faults = faults;
        const Outcome census = Point(road, 0);
        ASSERT_TRUE(census.first.ack_after) << faults;
        const std::uint64_t calls = census.first.calls;
        const std::uint64_t ack = *census.first.ack_after;
        for (std::uint64_t k : {ack + 1, (ack + calls) / 2, calls}) {
            const Outcome outcome = Point(road, k);
            if (!outcome.point.reached)
                continue;
            const auto& problems = outcome.point.problems;
            EXPECT_TRUE(std::any_of(
                problems.begin(), problems.end(),
                [](const std::string& p) { return p.find("are missing") != std::string::npos; }))
                << "nothing lost at point " << k << " with " << faults << " planted";
        }
    }
}

}  // namespace
}  // namespace korvalen::powercut
