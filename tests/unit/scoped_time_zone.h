// A local time zone fixed for the length of one test.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace korvalen::testing {

// Pins the process's local time zone (the TZ variable, "MSK-3" style: three hours east
// of Greenwich) for one test and restores it afterwards.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            saved_ = old, had_ = true;
        Set(tz);
    }
    ~ScopedTimeZone() { Set(had_ ? saved_.c_str() : nullptr); }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    static void Set(const char* tz) {
#ifdef _WIN32
        _putenv_s("TZ", tz ? tz : "");
        _tzset();
#else
        if (tz) {
            ::setenv("TZ", tz, 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
#endif
    }

    std::string saved_;
    bool had_ = false;
};

}  // namespace korvalen::testing
