// The rules of a link that heals itself: when a port counts as lost, when it is tried again.
#include "serial/link_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvalen {
namespace {

TEST(LostPortRule, TenFailedPollsInARowOutsideACapture) {
    struct Poll {
        bool failed;
        bool capturing;
    };
    const struct {
        const char* name;
        std::vector<Poll> polls;
        int lost_at;  // the poll (from 1) that reports the loss; 0: none
    } rows[] = {
        {"ten failures", std::vector<Poll>(12, {true, false}), 10},
        {"nine, then an answer, then nine",
         [] {
             std::vector<Poll> p(9, {true, false});
             p.push_back({false, false});
             p.insert(p.end(), 9, {true, false});
             return p;
         }(),
         0},
        {"a capture in between starts the count again",
         [] {
             std::vector<Poll> p(5, {true, false});
             p.push_back({true, true});
             p.insert(p.end(), 10, {true, false});
             return p;
         }(),
         16},
        {"failures during a capture are the read error's", std::vector<Poll>(20, {true, true}), 0},
    };
    for (const auto& row : rows) {
        LostPortRule rule;
        int lost_at = 0;
        for (std::size_t i = 0; i < row.polls.size(); ++i) {
            if (rule.OnPoll(row.polls[i].failed, row.polls[i].capturing)) {
                EXPECT_EQ(lost_at, 0) << row.name << ": told twice";
                lost_at = static_cast<int>(i + 1);
            }
        }
        EXPECT_EQ(lost_at, row.lost_at) << row.name;
    }
}

// Steps at tick counts: "lost", "arrived", "failed", "stop"; then whether a try is due.
TEST(ReopenSchedule, EveryTwoSecondsAndAtOnceForANewDevice) {
    struct Step {
        const char* what;
        std::uint32_t now;
        bool due_after;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } rows[] = {
        {"two seconds after the loss",
         {{"lost", 1000, false}, {"check", 2999, false}, {"check", 3000, true}}},
        {"two seconds after a failed try",
         {{"lost", 0, false},
          {"failed", 2000, false},
          {"check", 3999, false},
          {"check", 4000, true}}},
        {"a new device: at once",
         {{"lost", 0, false}, {"arrived", 500, true}, {"failed", 500, false}}},
        {"a device while nothing was lost changes nothing",
         {{"arrived", 0, false}, {"check", 5000, false}}},
        {"the operator's close and an opening stop the tries",
         {{"lost", 0, false},
          {"stop", 100, false},
          {"check", 10000, false},
          {"arrived", 10000, false}}},
        {"across the wrap of the tick count",
         {{"lost", 0xFFFFFC00u, false},
          {"check", 0x00000100u, false},
          {"check", 0x000003D0u, true}}},
    };
    for (const auto& row : rows) {
        ReopenSchedule schedule;
        for (const Step& step : row.steps) {
            const std::string what = step.what;
            if (what == "lost")
                schedule.Lost(step.now);
            else if (what == "arrived")
                schedule.DeviceArrived(step.now);
            else if (what == "failed")
                schedule.Failed(step.now);
            else if (what == "stop")
                schedule.Stop();
            EXPECT_EQ(schedule.Due(step.now), step.due_after)
                << row.name << ": " << what << " " << step.now;
        }
    }
}

}  // namespace
}  // namespace korvalen
