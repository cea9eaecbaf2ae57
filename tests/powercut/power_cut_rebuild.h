// A folder put back as a power cut at the end of a run leaves it: from its copy before the
// run and what the layer recorded of the run (durable_state.h says what survives).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "power_cut_events.h"

namespace korvalen::powercut {

// What the layer recorded of one run.
struct RunSummary {
    std::uint64_t calls = 0;                 // counted calls made or cut
    std::optional<std::uint64_t> ack_after;  // "(SDD)" went out after this many calls
    std::string last_call;                   // "op path [to]" of the last one counted
    std::vector<std::string> unmodelled;
};

std::vector<Event> ReadEvents(const std::string& store);
RunSummary Summarize(const std::vector<Event>& events);

// `snapshot` becomes a copy of `root` (which must exist).
void TakeSnapshot(const std::string& root, const std::string& snapshot);
// Everything in `root` is replaced by what survives of the run recorded in `store`.
void RebuildAfterPowerCut(const std::string& root, const std::string& snapshot,
                          const std::string& store);

}  // namespace korvalen::powercut
