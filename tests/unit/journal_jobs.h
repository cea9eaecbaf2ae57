// The jobs a journal's own session has, for tests that look at the journal.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "worker/road_journal.h"

namespace korvalen::testing {

// A journal that cannot be read fails the test.
inline std::vector<RoadJob> OwnJobs(const RoadJournal& journal) {
    std::vector<RoadJob> jobs;
    EXPECT_EQ(journal.Jobs(jobs), 0);
    return jobs;
}

}  // namespace korvalen::testing
