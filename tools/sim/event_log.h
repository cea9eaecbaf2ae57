// EventLog and Journal: the simulator's line-by-line records for people and tests.
#pragma once

#include <chrono>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace korvalen::sim {

// One line per command and event, "SECONDS EVENT [DETAILS]", SECONDS since the start with
// three decimals; flushed per line, so a test can read it while the simulator runs.
class EventLog {
  public:
    // To a file (created or truncated) or, with no path, to standard error. Throws
    // std::runtime_error when the file cannot be created.
    explicit EventLog(const std::optional<std::string>& path);

    void Write(std::string_view event);

  private:
    std::ofstream file_;
    std::ostream* out_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// One line per record the logger writes into the flash (its frame), so a test can check
// that each reached the dispatcher once. Without a path it writes nothing.
class Journal {
  public:
    explicit Journal(const std::optional<std::string>& path);

    void Write(std::string_view frame);
    void Flush();

  private:
    std::ofstream file_;
};

}  // namespace korvalen::sim
