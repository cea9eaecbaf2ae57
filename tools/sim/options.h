// SimOptions: the simulator's command line.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tools/sim/logger_model.h"
#include "tools/sim/reader_device.h"

namespace korvalen::sim {

struct SimOptions {
    bool help = false;
    bool version = false;
    std::optional<std::string> device;  // none: a new pseudo-terminal
    std::optional<std::string> flash_file;
    HistoryOptions history;
    std::optional<std::chrono::sys_days> start;  // none: the system clock
    Milliseconds record_every{1000};             // 0: the logger is idle
    std::optional<std::int64_t> record_limit;    // none: records for ever
    ReaderOptions reader;
    std::optional<std::string> log_file;  // none: standard error
    std::optional<std::string> journal_file;
    bool exit_with_parent = false;
};

// The options, or the one-line reason of a usage error.
std::variant<SimOptions, std::string> ParseOptions(const std::vector<std::string>& arguments);

extern const std::string_view kHelp;
extern const std::string_view kUsageHint;

}  // namespace korvalen::sim
