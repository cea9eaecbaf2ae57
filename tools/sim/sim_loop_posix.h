// RunSimulator: the simulator's event loop: the line, the logger's clock, signals and
// standard input.
#pragma once

#include <chrono>

#include "tools/sim/event_log.h"
#include "tools/sim/flash_memory.h"
#include "tools/sim/logger_model.h"
#include "tools/sim/reader_device.h"
#include "tools/sim/serial_line_posix.h"

namespace korvalen::sim {

struct SimParts {
    SerialLine& line;
    ReaderDevice& device;
    FlashMemory& flash;
    LoggerModel& logger;
    Milliseconds record_every;                 // 0: the logger is idle
    std::optional<std::int64_t> record_limit;  // the records it writes; none: no end
    Seconds logger_start;                      // the logger's time at the loop's start
    EventLog& log;
    Journal& journal;
};

// Blocks SIGUSR1, SIGTERM, SIGINT and SIGHUP so that the loop takes them from a
// descriptor; call it first thing in main, before any thread could start.
void TakeSignalsIntoLoop();

// Runs until a signal, "quit" on standard input or a vanishing (status 0), or a failure
// of the line (status 1, logged).
int RunSimulator(const SimParts& parts);

}  // namespace korvalen::sim
