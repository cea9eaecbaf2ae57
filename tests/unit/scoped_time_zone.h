#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace korvalen::testing {

// Pins the process's time zone (POSIX TZ text) for one test and restores it afterwards.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) {
            saved_ = old;
            had_ = true;
        }
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (had_) {
            ::setenv("TZ", saved_.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::string saved_;
    bool had_ = false;
};

}  // namespace korvalen::testing
