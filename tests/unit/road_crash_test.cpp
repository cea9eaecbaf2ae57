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
#include "decode/decoding_pass.h"
#include "decode_test_support.h"
#include "inbox_records.h"
#include "sim_process.h"
#include "worker/delivered_part.h"
#include "worker/road_journal.h"

#ifndef KORVALEN_READ_PATH
#error "KORVALEN_READ_PATH must name the built korvalen-read"
#endif

namespace korvalen {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::FileNames;
using testing::InboxRecord;
using testing::InboxRecords;
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

// A record without what the decoding of another stream may set otherwise: the power-on
// mark depends on the markers around it, the last-record mark on the file it ends, and
// the report time on the records before it (a run of stale fixes keeps the time it began
// at), which the rest of a transfer that was under way when the program started does not
// have.
std::tuple<std::int32_t, double, double, std::string> Plain(const InboxRecord& r) {
    std::string text = r.text;
    if (const auto at = text.find("PU "); at != std::string::npos)
        text.erase(at, 3);
    return {r.object, r.longitude, r.latitude, text};
}

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
        // Nothing is left half done: no job, no staging folder, no copy or journal in the
        // making.
        std::string text;
        ASSERT_TRUE(ReadWholeFile(data + "Korvalen.jnl", text));
        const auto jobs = ParseJournal(text);
        ASSERT_TRUE(jobs);
        EXPECT_TRUE(jobs->jobs.empty()) << text;
        EXPECT_FALSE(std::filesystem::exists(inbox + "Korvalen.staging"));
        for (const std::string& name : FileNames(data + "Archive"))
            EXPECT_EQ(name.find(".part"), std::string::npos) << name;
        EXPECT_FALSE(std::filesystem::exists(data + "Korvalen.jnl.new"));

        // Every record exactly once: the InBox is what decoding each acknowledged transfer
        // once gives (a part delivered of a transfer that ended short, or one whose
        // acknowledgement never went, is left out when it comes again), and every message
        // file is whole. The acknowledged transfers are the archive's dumps of new data of
        // the sizes the reader forgot, in order.
        Settings settings;
        ApplyDefaults(settings, folder.path());
        std::vector<std::string> acknowledged;
        std::vector<std::string> archived = FileNames(data + "Archive");
        const std::regex ack("ack ([0-9]+)");
        const auto payload = [&](const std::string& name) {
            const std::string bytes = ReadTestFile(data + "Archive/" + name);
            const auto start = FindPayloadStart(bytes);
            return start ? static_cast<std::int64_t>(bytes.size()) - start->offset : -1;
        };
        for (std::sregex_iterator it(sim_log.begin(), sim_log.end(), ack), end; it != end; ++it) {
            const std::int64_t size = std::stoll((*it)[1]);
            const auto dump =
                std::find_if(archived.begin(), archived.end(), [&](const std::string& name) {
                    return name.find("-ND") != std::string::npos && payload(name) == size;
                });
            ASSERT_NE(dump, archived.end())
                << "no archived dump of an acknowledged transfer of " << size;
            acknowledged.push_back(*dump);
            archived.erase(dump);
        }
        std::multiset<decltype(Plain(InboxRecord{}))> expected;
        for (std::size_t i = 0; i < acknowledged.size(); ++i) {
            const std::string out = folder / ("expected/" + std::to_string(i) + "/");
            std::filesystem::create_directories(out);
            settings.InboxDir = out;
            // The transfer from its header on: what came before it is the rest of an
            // earlier one, the same data sent again.
            const std::string bytes = ReadTestFile(data + "Archive/" + acknowledged[i]);
            const std::string transfer = folder / ("expected/" + std::to_string(i) + ".trc");
            testing::WriteTestFile(
                transfer,
                bytes.substr(static_cast<std::size_t>(FindPayloadStart(bytes)->offset - 11)));
            testing::RecordingHost quiet;
            DecodingPass pass(settings, transfer, quiet);
            EXPECT_TRUE(pass.Run());
            for (const InboxRecord& r : InboxRecords(out))
                expected.insert(Plain(r));
        }
        std::filesystem::remove_all(folder / "expected");
        std::vector<std::string> problems;
        const std::vector<InboxRecord> found = InboxRecords(inbox, &problems);
        EXPECT_TRUE(problems.empty()) << problems.front();
        std::multiset<decltype(Plain(InboxRecord{}))> delivered_once;
        for (const InboxRecord& r : found)
            delivered_once.insert(Plain(r));
        EXPECT_TRUE(delivered_once == expected)
            << found.size() << " records in the InBox, " << expected.size() << " expected";
        for (auto key = delivered_once.begin(); key != delivered_once.end();
             key = delivered_once.upper_bound(*key)) {
            const auto extra = static_cast<int>(delivered_once.count(*key)) -
                               static_cast<int>(expected.count(*key));
            records_again += extra > 0 ? extra : 0;
        }

        // Nothing the logger wrote is missing: the reader has forgotten all of it.
        Settings logger = settings;
        logger.InboxDir = folder / "logger/";
        std::filesystem::create_directories(logger.InboxDir);
        testing::WriteTestFile(folder / "logger.trc", ReadTestFile(logger_journal));
        testing::RecordingHost quiet;
        DecodingPass pass(logger, folder / "logger.trc", quiet);
        EXPECT_TRUE(pass.Run());
        std::set<decltype(Plain(InboxRecord{}))> delivered;
        for (const InboxRecord& r : found)
            delivered.insert(Plain(r));
        std::set<decltype(Plain(InboxRecord{}))> written;
        for (const InboxRecord& r : InboxRecords(folder / "logger"))
            written.insert(Plain(r));
        std::filesystem::remove_all(folder / "logger");
        int missing = 0;
        for (const auto& record : written)
            missing += delivered.count(record) == 0 ? 1 : 0;
        EXPECT_EQ(missing, 0);
        records_written += static_cast<int>(written.size());
        records_missing += missing;
        records_found += static_cast<int>(written.size()) - missing;
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
