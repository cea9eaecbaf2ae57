// What a run under a service prints, into its read log: a service has no console.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "worker/read_log.h"

namespace korvalen {

// A stream buffer for standard output and error that writes each whole line into the read
// log of a data folder, with the log's time before it. Lines printed before the folder is
// known are kept and written first once it is. Every thread of the run prints through it:
// each thread's unfinished line is kept apart, so that lines never mix.
class ReadLogPrinter final : public std::streambuf {
  public:
    ReadLogPrinter() = default;

    // From now on the lines go into `data_folder`'s Korvalen.log.
    void UseDataFolder(const std::string& data_folder);
    // The last few lines printed, for the event log when the run fails.
    std::vector<std::string> LastLines() const;

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

  private:
    void Put(char c);  // needs mutex_

    static constexpr std::size_t kLastLines = 4;

    mutable std::mutex mutex_;  // guards what follows
    std::optional<ReadLog> log_;
    std::vector<std::string> early_;  // lines before the data folder was known
    std::map<std::thread::id, std::string> unfinished_;
    std::deque<std::string> last_;
};

}  // namespace korvalen
