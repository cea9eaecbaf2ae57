// The read journal: a line for every transfer read, every pass and every recovery, kept
// for the operator and for whoever looks after the readers.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "decode/pass_outcome.h"
#include "platform/clock.h"

namespace korvalen {

// What one capture came to, for its line.
struct CaptureLine {
    std::string port;             // "COM1"
    std::string kind;             // "ND", "AD", or empty when no header came
    std::int64_t announced = -1;  // the size of the header; -1 without one
    std::int64_t received = 0;    // payload bytes received (all bytes without a header)
    std::string acknowledgement;  // "отправлено", or why not
    std::string dump;
    std::string archive;  // the archive's name of the dump; empty when none
};

// The lines, without the time that starts each one.
std::string FormatCaptureLine(const CaptureLine& line);
std::string FormatPassLine(const PassOutcome& outcome);
// "dd.mm.yyyy hh:mm:ss ", the time that starts every line.
std::string FormatLogTime(const CalendarTime& local);

// The file "Korvalen.log" of the data folder: Windows-1251, CR LF, one line per event,
// appended. Beyond `limit` bytes the file becomes "Korvalen.1.log" (replacing the one
// before) and a new one begins, so the two together stay under twice the limit. Several
// processes may append to it: each line is written under an exclusive hold of the file.
class ReadLog {
  public:
    static constexpr std::int64_t kDefaultLimit = std::int64_t{1} << 20;

    ReadLog(const std::string& data_folder, const Clock& clock, std::int64_t limit = kDefaultLimit);

    // Appends the line (UTF-8) after the time of the clock. False when it could not be
    // written; the program goes on without it.
    bool Append(std::string_view line);
    // The older file, then the current one, as UTF-8 with CR LF.
    std::string ReadAll() const;
    const std::string& path() const { return path_; }

  private:
    std::mutex mutex_;
    const Clock& clock_;
    std::string path_;
    std::string older_path_;
    std::int64_t limit_;
};

}  // namespace korvalen
