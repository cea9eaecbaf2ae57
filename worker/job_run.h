// One job of the job owner as it goes onto its thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "worker/road_events.h"
#include "worker/road_journal.h"

namespace korvalen {

// A job with what its lines in the log list and the read log need.
struct JobRun {
    RoadJob job;
    std::optional<CaptureReport> capture;  // a capture's job: what the capture came to
    std::vector<std::string> notes;        // the road's lines above the summary, in order
    bool journalled = true;                // the journal knows the job
    bool recovered = false;                // left over: what it wrote is taken back first
    std::optional<std::uint64_t> turn;     // a transfer's, among the transfers of new data
};

// A job left over, or one the journal holds: what it wrote is taken back first.
inline JobRun RecoveredRun(RoadJob job) {
    JobRun run;
    run.job = std::move(job);
    run.recovered = true;
    return run;
}

// A file the user chose.
inline JobRun FileRun(RoadJob job, bool journalled) {
    JobRun run;
    run.job = std::move(job);
    run.journalled = journalled;
    return run;
}

}  // namespace korvalen
