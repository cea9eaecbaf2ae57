// What a power cut leaves of a run, under the strict model: a file holds what it held at
// its last successful sync (never synced: what it held before the run, or nothing); a
// name created, moved or removed counts once its folder was synced after it (a move
// between two folders is one step and counts once either was synced after it, but never
// while the name it moves does not count); what lies in a folder that does not count is
// gone with it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "power_cut_events.h"

namespace korvalen::powercut {

struct DurableName {
    bool folder = false;
    std::uint64_t generation = 0;  // of a file
    bool operator==(const DurableName&) const = default;
};

struct DurableState {
    // Every name under the root, the root itself not among them.
    std::map<std::string, DurableName> names;
    // A file's content: the copy its last sync left; a file without one holds what it
    // held before the run (`before_run`), or nothing when it is new.
    std::map<std::uint64_t, std::uint64_t> synced_copy;
    std::map<std::uint64_t, std::string> before_run;  // generation: its path before the run
};

DurableState WhatSurvives(const std::vector<Event>& events);

}  // namespace korvalen::powercut
