// Power cuts in korvalen-decode with CSV files: cut at every call, the InBox rebuilt as
// the power cut leaves it, the same command run again. Every message file whole, every
// object's records delivered (all of them once, or all again when the cut run's files
// survived), and every CSV line as often as its object's records: once, unless the whole
// delivery came twice.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "decode_outputs.h"
#include "power_cut_harness.h"
#include "temp_folder.h"

namespace korvalen::powercut {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

TEST(DecodePowerCut, EveryCsvLineOnceAndEveryMessageFileWholeAfterARerun) {
    const auto started = std::chrono::steady_clock::now();
    TempFolder clean;
    const std::string clean_inbox = clean / "InBox/";
    ASSERT_EQ(RunTool(DecodeArguments(clean_inbox), std::nullopt, clean / "decode.log"), 0);
    const Delivered want = WhatIsIn(clean_inbox);
    ASSERT_FALSE(want.csv_lines.empty());

    const PointChoice choice = ChosenPoints();
    PointTally tally("korvalen-decode --csv-c --csv-n");
    std::uint64_t calls = 0;
    int records_again = 0;
    int staging_left = 0;
    for (std::uint64_t k = 1;; ++k) {
        if (!choice.listed.empty() &&
            std::find(choice.listed.begin(), choice.listed.end(), k) == choice.listed.end()) {
            if (k > *std::max_element(choice.listed.begin(), choice.listed.end()))
                break;
            continue;
        }
        TempFolder folder;
        const std::string root = folder / "root";
        const std::string inbox = root + "/InBox/";
        fs::create_directories(inbox);
        TakeSnapshot(root, folder / "before");
        const std::string store = folder / "store";
        const std::string log = folder / "decode.log";
        const int status = RunTool(DecodeArguments(inbox), LayerPlan{root, store, k, ""}, log);
        const RunSummary summary = Summarize(ReadEvents(store));
        calls = std::max(calls, summary.calls);
        PointResult result{.cut = k, .reached = status == kCutStatus};
        if (!result.reached)
            break;
        result.cut_call = summary.last_call;
        RebuildAfterPowerCut(root, folder / "before", store);
        const int again = RunTool(DecodeArguments(inbox), std::nullopt, log);
        if (again != 0)
            result.problems.push_back("the rerun ended with status " + std::to_string(again));
        const Delivered got = WhatIsIn(inbox);
        const auto problems = Compare(want, got, records_again);
        result.problems.insert(result.problems.end(), problems.begin(), problems.end());
        result.records = static_cast<int>(want.records.size());
        staging_left += fs::exists(inbox + "Korvalen.staging") ? 1 : 0;
        if (!result.problems.empty())
            KeepForALook(folder.path(), "decode-" + std::to_string(k));
        tally.Add(result);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string report = tally.Report(calls, std::nullopt, seconds) +
                               "  (also: " + std::to_string(records_again) +
                               " message records came again over all points (the cut run's files "
                               "survived), a staging folder was left at " +
                               std::to_string(staging_left) + " points)\n";
    std::printf("%s", report.c_str());
    EXPECT_FALSE(tally.failed()) << report;
}

}  // namespace
}  // namespace korvalen::powercut
