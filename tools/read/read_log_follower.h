// The lines the read log gains while korvalen-read runs, for its standard output.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace korvalen {

// Follows the read log ("Korvalen.log" of the data folder) from where it stood when the
// follower was made: each call gives the whole lines written since the last one, as UTF-8
// without their CR LF. A log that was rotated meanwhile (it became "Korvalen.1.log" and a
// new one began) is followed across the rotation. Every process that shares the data
// folder writes there, so their lines are among them. Any thread may call it.
class ReadLogFollower {
  public:
    // `path` is the log, `older_path` what it becomes when rotated.
    ReadLogFollower(std::string path, std::string older_path);

    std::vector<std::string> NewLines();

  private:
    static std::int64_t LengthOf(const std::string& path);

    const std::string path_;
    const std::string older_path_;
    std::mutex mutex_;
    std::int64_t offset_;  // guarded by mutex_: what has been given out of the log
};

}  // namespace korvalen
