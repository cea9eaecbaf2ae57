// What the power-loss scenarios share: a tool started with the layer preloaded, the crash
// points to try, and the tally they print.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "layer_environment.h"
#include "power_cut_rebuild.h"

#ifndef KORVALEN_POWERCUT_LAYER
#error "KORVALEN_POWERCUT_LAYER must name the built power-cut layer"
#endif

namespace korvalen::powercut {

// What the layer is to do in one start of a tool.
struct LayerPlan {
    std::string root;
    std::string store;  // empty: nothing recorded
    std::uint64_t cut_at = 0;
    std::string faults;
};

// The environment that preloads the layer with `plan`.
inline std::vector<std::string> LayerEnvironment(const LayerPlan& plan) {
    std::vector<std::string> environment = {std::string("LD_PRELOAD=") + KORVALEN_POWERCUT_LAYER,
                                            std::string(kRootVariable) + "=" + plan.root};
    if (!plan.store.empty()) {
        std::filesystem::create_directories(plan.store);
        environment.push_back(std::string(kStoreVariable) + "=" + plan.store);
    }
    if (plan.cut_at > 0)
        environment.push_back(std::string(kCutAtVariable) + "=" + std::to_string(plan.cut_at));
    if (!plan.faults.empty())
        environment.push_back(std::string(kFaultsVariable) + "=" + plan.faults);
    return environment;
}

// The tool's exit status (kCutStatus when the layer ended it, -1 for a signal, -2 when
// it did not end in time), its output appended to `log`.
inline int RunTool(const std::vector<std::string>& arguments, const std::optional<LayerPlan>& plan,
                   const std::string& log, std::vector<std::string> environment = {}) {
    if (plan) {
        const auto layer = LayerEnvironment(*plan);
        environment.insert(environment.end(), layer.begin(), layer.end());
    }
    testing::ChildProcess child(arguments, environment, log);
    return child.Wait(std::chrono::seconds(60)).value_or(-2);
}

// Which crash points to try: KORVALEN_POWERCUT_POINTS=all for every one, a list such as
// "12,40" for those alone, otherwise the sample the test picks.
struct PointChoice {
    bool all = false;
    std::vector<std::uint64_t> listed;
};

inline PointChoice ChosenPoints() {
    PointChoice choice;
    const char* value = std::getenv("KORVALEN_POWERCUT_POINTS");
    if (!value)
        return choice;
    if (std::string(value) == "all") {
        choice.all = true;
        return choice;
    }
    for (const char* at = value; *at;) {
        char* end = nullptr;
        const auto k = std::strtoull(at, &end, 10);
        if (end == at)
            break;
        choice.listed.push_back(k);
        at = *end ? end + 1 : end;
    }
    return choice;
}

// Where a failing point's folders are kept for a look (KORVALEN_POWERCUT_KEEP=DIR).
inline void KeepForALook(const std::string& folder, const std::string& name) {
    const char* keep = std::getenv("KORVALEN_POWERCUT_KEEP");
    if (!keep)
        return;
    const std::filesystem::path target = std::filesystem::path(keep) / name;
    std::filesystem::remove_all(target);
    std::filesystem::create_directories(target.parent_path());
    std::error_code ignored;
    std::filesystem::copy(
        folder, target,
        std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks,
        ignored);
}

// One crash point's outcome.
struct PointResult {
    std::uint64_t cut = 0;
    bool reached = false;  // the run came as far as its cut-th call
    bool after_ack = false;
    std::string cut_call{};
    int records = 0;
    std::vector<std::string> problems{};
};

// The counts a scenario prints at its end, and the failures by point.
class PointTally {
  public:
    explicit PointTally(std::string scenario) : scenario_(std::move(scenario)) {}

    void Add(const PointResult& result) {
        if (!result.reached)
            return;
        ++points_;
        after_ack_ += result.after_ack ? 1 : 0;
        records_ += result.records;
        if (result.problems.empty())
            return;
        std::string line = "  point " + std::to_string(result.cut) +
                           (result.after_ack ? " (after \"(SDD)\")" : "") + ", cut before " +
                           result.cut_call + ":";
        for (const std::string& problem : result.problems)
            line += "\n      " + problem;
        failures_.push_back(line);
    }
    bool failed() const { return !failures_.empty(); }

    // Printed whatever the outcome; the failures also make the test's failure text.
    std::string Report(std::uint64_t crash_points, std::optional<std::uint64_t> points_after_ack,
                       double seconds) const {
        const auto after = [](std::uint64_t n) {
            return " (" + std::to_string(n) + " after \"(SDD)\")";
        };
        std::string text = scenario_ + ": " + std::to_string(crash_points) + " crash points" +
                           (points_after_ack ? after(*points_after_ack) : "") + "; " +
                           std::to_string(points_) + " run" +
                           (points_after_ack ? after(static_cast<std::uint64_t>(after_ack_)) : "") +
                           ", " + std::to_string(records_) + " records checked, " +
                           std::to_string(failures_.size()) + " failing; " +
                           std::to_string(static_cast<int>(seconds)) + " s\n";
        for (const std::string& failure : failures_)
            text += failure + "\n";
        return text;
    }

  private:
    std::string scenario_;
    int points_ = 0;
    int after_ack_ = 0;
    int records_ = 0;
    std::vector<std::string> failures_;
};

// Every point, or every `stride`-th of 1..last (the last always among them).
inline std::vector<std::uint64_t> Stride(std::uint64_t first, std::uint64_t last,
                                         std::uint64_t stride) {
    std::vector<std::uint64_t> points;
    for (std::uint64_t k = first; k <= last; k += stride)
        points.push_back(k);
    if (!points.empty() && points.back() != last)
        points.push_back(last);
    return points;
}

}  // namespace korvalen::powercut
