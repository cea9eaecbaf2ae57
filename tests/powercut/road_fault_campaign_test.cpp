// The fault campaign: whole stories of the road under what a station meets besides a
// power cut (a move into the InBox refused, the journal unreadable for a moment, a CSV
// file held by another program, a second process on the same folders, spelled another
// way, two sessions at once), each checked once the readers have nothing new: every
// record exactly once (tests/unit/road_checks.h).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "decode_outputs.h"
#include "power_cut_harness.h"
#include "road_checks.h"
#include "road_runs.h"
#include "temp_folder.h"
#include "worker/road_journal.h"

namespace korvalen::powercut {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::SimProcess;
using testing::TempFolder;

std::string Joined(const std::vector<std::string>& problems) {
    std::string text;
    for (const std::string& problem : problems)
        text += "\n    " + problem;
    return text;
}

bool LogSays(const std::string& log, std::string_view text) {
    std::string bytes;
    return ReadWholeFile(log, bytes) && bytes.find(text) != std::string::npos;
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// Fresh folders and one fresh logger per reader, the tools started on them.
class Story {
  public:
    explicit Story(int loggers = 1) {
        fs::create_directories(root_);
        for (int n = 0; n < loggers; ++n) {
            journals_.push_back(folder_ / ("logger-" + std::to_string(n) + ".txt"));
            sims_.push_back(std::make_unique<SimProcess>(
                LoggerArguments(static_cast<unsigned>(n + 1), journals_.back(), "2026-12-01")));
        }
    }

    const std::string& root() const { return root_; }
    const std::string& data() const { return data_; }
    const std::string& inbox() const { return inbox_; }
    std::string path(const std::string& name) const { return folder_ / name; }
    const SimProcess& sim(int n = 0) const { return *sims_[static_cast<std::size_t>(n)]; }
    const std::string& log() const { return log_; }

    // A read with the layer planting `faults` (none: without the layer); a fault the run
    // never met fails the test, which would prove nothing.
    int Read(const std::string& faults = "", std::vector<std::string> environment = {}) const {
        const std::string store = folder_ / ("store-" + std::to_string(++reads_));
        const int status =
            RunTool(ReadArguments(data_, inbox_, sim().device_path()),
                    faults.empty() ? std::nullopt
                                   : std::optional<LayerPlan>(LayerPlan{root_, store, 0, faults}),
                    log_, std::move(environment));
        if (!faults.empty()) {
            const auto events = ReadEvents(store);
            EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                                    [](const Event& e) { return e.kind == EventKind::Fault; }))
                << "the run never met the planted " << faults;
        }
        return status;
    }

    bool HasCommittedJob() const {
        std::string text;
        if (!ReadWholeFile(data_ + "Korvalen.jnl", text))
            return false;
        const auto jobs = ParseJournal(text);
        return jobs && std::any_of(jobs->jobs.begin(), jobs->jobs.end(), [](const RoadJob& job) {
                   return job.state == JobState::Committed;
               });
    }

    // Started again until every reader has nothing new; the road's problems then.
    std::vector<std::string> DrainAndCheck() const {
        std::vector<testing::LoggerRecord> loggers;
        for (std::size_t n = 0; n < sims_.size(); ++n) {
            bool drained = false;
            for (int start = 0; start < 8 && !drained; ++start) {
                drained = RunTool(ReadArguments(data_, inbox_, sims_[n]->device_path()),
                                  std::nullopt, log_) == 0 &&
                          Drained(sims_[n]->Log());
            }
            if (!drained)
                return {"reader " + std::to_string(n + 1) + " still had data after 8 starts"};
            loggers.push_back({journals_[n], sims_[n]->Log()});
        }
        return testing::CheckRoad(data_, inbox_, folder_ / "check", loggers).problems;
    }

  private:
    TempFolder folder_;
    std::string root_ = folder_ / "root";
    std::string data_ = root_ + "/Data/";
    std::string inbox_ = root_ + "/InBox/";
    std::string log_ = folder_ / "read.log";
    std::vector<std::string> journals_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
    mutable int reads_ = 0;
};

TEST(RoadFaultCampaign, AMoveRefusedOnceIsDeliveredAtTheNextStart) {
    for (const char* error : {"ENOSPC", "EACCES"}) {
        const Story story;
        EXPECT_EQ(story.Read(std::string("move:InBox:1:") + error), 3) << error;
        const auto problems = story.DrainAndCheck();
        EXPECT_TRUE(problems.empty()) << "a move refused with " << error << Joined(problems);
    }
}

// The n-th read of the journal in the next start fails once, while a job waits: one
// committed whose move was refused, one pending (the run ended after "(SDD)").
TEST(RoadFaultCampaign, AJournalReadFailingOnceIsNoEmptyJournal) {
    struct Setup {
        const char* name;
        const char* faults;
        const char* crash_at;
    };
    for (const Setup& setup :
         {Setup{"a committed job waits for its move", "move:InBox:1:ENOSPC", ""},
          Setup{"a pending job waits", "", "acknowledged"}}) {
        for (int n = 1; n <= 3; ++n) {
            const Story story;
            std::vector<std::string> environment;
            if (*setup.crash_at)
                environment.push_back(std::string("KORVALEN_CRASH_AT=") + setup.crash_at);
            story.Read(setup.faults, environment);
            story.Read("read:Data/Korvalen.jnl:" + std::to_string(n) + ":EIO");
            const auto problems = story.DrainAndCheck();
            EXPECT_TRUE(problems.empty())
                << setup.name << ", read " << n << " of the journal failing" << Joined(problems);
        }
    }
}

// A station (--wait) holds a committed job whose move was refused, and the reader sends
// its next transfer; one read of the journal fails meanwhile: each read after the refused
// move in turn (a census of the station's reads finds them).
TEST(RoadFaultCampaign, AJournalReadFailingWhileAStationCapturesAgain) {
    const std::string refused = "move:InBox:1:ENOSPC";
    const auto station = [&](const Story& story, const std::string& faults) {
        const std::string store = story.path("station.store");
        ChildProcess child({KORVALEN_READ_PATH, "--wait", "--count", "2", "--data", story.data(),
                            "-o", story.inbox(), story.sim().device_path()},
                           LayerEnvironment({story.root(), store, 0, faults}), story.log());
        EXPECT_TRUE(WaitFor([&] { return LogSays(story.log(), "waiting for the reader"); }, 10s));
        story.sim().PressButton();
        EXPECT_TRUE(WaitFor([&] { return story.HasCommittedJob(); }, 20s));
        story.sim().PressButton();
        EXPECT_TRUE(child.Wait(60s)) << "the station did not end after two transfers";
        return ReadEvents(store);
    };
    std::vector<int> reads;  // the journal's reads after the refused move, by their number
    {
        const Story census;
        int read = 0;
        bool refused_yet = false;
        for (const Event& e : station(census, refused + ";read:Data/Korvalen.jnl:1000000:EIO")) {
            refused_yet = refused_yet || (e.kind == EventKind::Fault && e.op == "move");
            read += e.kind == EventKind::Read ? 1 : 0;
            if (e.kind == EventKind::Read && refused_yet)
                reads.push_back(read);
        }
    }
    ASSERT_FALSE(reads.empty());
    // Every third read by default; KORVALEN_POWERCUT_POINTS=all for each of them.
    const std::size_t stride = ChosenPoints().all ? 1 : 3;
    for (std::size_t i = 0; i < reads.size(); i += stride) {
        const int n = reads[i];
        const Story story;
        station(story, refused + ";read:Data/Korvalen.jnl:" + std::to_string(n) + ":EIO");
        const auto problems = story.DrainAndCheck();
        EXPECT_TRUE(problems.empty()) << "read " << n << " of the journal failing (of "
                                      << reads.back() << ")" << Joined(problems);
    }
}

// korvalen-decode ended after its CSV lines and its commit, before its moves, then run
// again: with the first CSV file free, and held by another program during the rerun.
TEST(RoadFaultCampaign, ACsvFileHeldOpenDuringTheRerunGetsEachLineOnce) {
    TempFolder clean;
    ASSERT_EQ(RunTool(DecodeArguments(clean / "InBox/"), std::nullopt, clean / "decode.log"), 0);
    const Delivered want = WhatIsIn(clean / "InBox/");
    for (const bool held : {false, true}) {
        TempFolder folder;
        const std::string inbox = folder / "InBox/";
        const std::string log = folder / "decode.log";
        EXPECT_EQ(
            RunTool(DecodeArguments(inbox), std::nullopt, log, {"KORVALEN_CRASH_AT=committed"}),
            86);
        File holder;  // as another program holds a file open: shared, while it is open
        if (held) {
            ASSERT_TRUE(
                holder.Open(inbox + "012C.csv", OpenMode::OpenExisting, Sharing::Shared, true));
        }
        const int status = RunTool(DecodeArguments(inbox), std::nullopt, log);
        holder = File();
        int records_again = 0;
        const auto problems = Compare(want, WhatIsIn(inbox), records_again);
        EXPECT_TRUE(problems.empty())
            << (held ? "012C.csv held during the rerun" : "the rerun") << " (status " << status
            << ", " << records_again << " message records again)" << Joined(problems);
    }
}

// A committed job waits for its move into the InBox (refused once), and another start
// names the same folders, the same way or another: while a station (--wait) holds the job,
// and as the next start after it.
TEST(RoadFaultCampaign, AnotherStartLeavesAWaitingJobAlone) {
    struct Spelling {
        const char* name;
        std::string data;  // relative to the story's root, or through "link"
        std::string inbox;
    };
    const Spelling spellings[] = {
        {"the same", "root/Data/", "root/InBox/"},
        {"with ./", "root/./Data/", "root/./InBox/"},
        {"without the last separator", "root/Data", "root/InBox"},
        {"through a symbolic link", "link/Data/", "link/InBox/"},
    };
    for (const bool station : {true, false}) {
        for (const Spelling& spelling : spellings) {
            const Story story;
            fs::create_directory_symlink(story.root(), story.path("link"));
            const std::string data = story.path(spelling.data);
            const std::string inbox = story.path(spelling.inbox);
            const char* const refused = "move:InBox:1:ENOSPC";
            std::unique_ptr<ChildProcess> waiting;
            if (station) {
                waiting = std::make_unique<ChildProcess>(
                    std::vector<std::string>{KORVALEN_READ_PATH, "--wait", "--data", story.data(),
                                             "-o", story.inbox(), story.sim().device_path()},
                    LayerEnvironment({story.root(), "", 0, refused}), story.log());
                ASSERT_TRUE(
                    WaitFor([&] { return LogSays(story.log(), "waiting for the reader"); }, 10s));
                story.sim().PressButton();
                ASSERT_TRUE(WaitFor([&] { return story.HasCommittedJob(); }, 20s))
                    << ReadTestFile(story.log());
                // Another program on the same folders, on a port that is not there.
                RunTool({KORVALEN_READ_PATH, "--new", "--data", data, "-o", inbox,
                         story.path("no-such-port")},
                        std::nullopt, story.log());
                waiting->Kill();  // the station is stopped; its next start finishes the job
            } else {
                EXPECT_EQ(story.Read(refused), 3);
                RunTool(ReadArguments(data, inbox, story.sim().device_path()), std::nullopt,
                        story.log());
            }
            const auto problems = story.DrainAndCheck();
            EXPECT_TRUE(problems.empty())
                << (station ? "a second process while a station waits, " : "the next start, ")
                << "folders spelled " << spelling.name << Joined(problems);
        }
    }
}

// The window's session and the tool's: two processes on the same data folder and InBox,
// each reading its own logger at the same time.
TEST(RoadFaultCampaign, TwoSessionsOnTheSameFoldersAtOnce) {
    const Story story(2);
    ChildProcess station({KORVALEN_READ_PATH, "--wait", "--count", "1", "--data", story.data(),
                          "-o", story.inbox(), story.sim(0).device_path()},
                         {}, story.log());
    ASSERT_TRUE(WaitFor([&] { return LogSays(story.log(), "waiting for the reader"); }, 10s));
    ChildProcess reading(ReadArguments(story.data(), story.inbox(), story.sim(1).device_path()), {},
                         story.log());
    story.sim(0).PressButton();
    EXPECT_TRUE(station.Wait(60s));
    EXPECT_TRUE(reading.Wait(60s));
    const auto problems = story.DrainAndCheck();
    EXPECT_TRUE(problems.empty()) << Joined(problems);
}

}  // namespace
}  // namespace korvalen::powercut
