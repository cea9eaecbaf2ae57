// What one decoding pass came to, and the summary the log list shows of it.
#pragma once

#include <string>
#include <vector>

#include "platform/clock.h"

namespace korvalen {

// A pass's outcome: what its summary in the log list and its line in the read log say.
struct PassOutcome {
    std::string dump;
    bool completed = true;  // false: aborted
    int errors = 0;         // errors found in the dump and failures of the pass
    int power_ons = 0;
    // One line per route with records, in the order the routes were found.
    std::vector<std::string> route_lines;
    CalendarTime finished_at;  // local time, when the summary was made

    int objects = 0;
    int points = 0;
    int delivered_files = 0;
    bool delivered = true;     // every file reached the InBox
    int milliseconds = 0;      // from the dump's opening to the last file delivered
    int delivered_before = 0;  // records left out: an earlier part delivered them
};

// The summary, top line first: the date, the dump, the routes, the power-ons and the
// errors, as the log list shows it with the newest line on top.
std::vector<std::string> FormatPassSummary(const PassOutcome& outcome);

// "dd.mm.yyyy h:mm:ss", the short date and the time of the program's Russian users;
// "Invalid DateTime" for a time that is not one.
std::string FormatLocalDateTime(const CalendarTime& local);

}  // namespace korvalen
