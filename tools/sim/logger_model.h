// LoggerModel: the fleet's loggers writing records into the flash, before and while the
// simulator runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/vehicle.h"

namespace korvalen::sim {

struct LoggerOptions {
    std::uint32_t seed = 1;
    int vehicles = 4;
    // Without it the last of several vehicles carries an older logger, which writes its
    // records without ID (and half as often).
    bool all_with_id = false;
};

// One record as the logger writes it.
struct LoggedRecord {
    std::string frame;  // ">...<"
    std::string bytes;  // what goes into the flash: "RESET" CR LF at a power-up, the frame, CR LF
};

// The object ID of vehicle `index` as its logger writes it, or none for the older logger.
std::optional<int> ObjectIdOf(const LoggerOptions& options, int index);

// The characters of a record: "RPS" long records with inputs and analog values, or
// "GPS" short ones; UTC date and time.
std::string RecordFrame(const Fix& fix, std::optional<int> object_id);

class LoggerModel {
  public:
    // The fleet at `start`, every vehicle switched off at its depot.
    LoggerModel(const LoggerOptions& options, Seconds start);

    // Every record the fleet writes from its current time up to `end` (not included), in
    // time order, each vehicle on its own working day.
    std::vector<LoggedRecord> RunUntil(Seconds end);

    // One record taken at `time` by the next vehicle in turn.
    LoggedRecord RecordAt(Seconds time);

  private:
    LoggedRecord Write(int index, const Fix& fix) const;

    LoggerOptions options_;
    std::vector<Vehicle> vehicles_;
    Seconds now_;
    std::size_t next_in_turn_ = 0;
};

// The flash's contents when the simulator starts: the records of the `days` (default 3)
// before `start`; with a size, only the latest records that fit into it, and a size
// without days reaches back as far as it takes to fill it. Never more than the flash
// holds.
struct HistoryOptions {
    LoggerOptions logger;
    std::optional<int> days;
    std::optional<std::size_t> size;
};
struct History {
    LoggerModel logger;  // goes on recording from `start`
    std::vector<LoggedRecord> records;
    std::size_t bytes = 0;
};
History MakeHistory(const HistoryOptions& options, Seconds start);

}  // namespace korvalen::sim
