// POSIX side of the clock: the wall clock, a steady tick count and the thread-safe localtime.
#include <time.h>

#include <chrono>

#include "platform/clock.h"
#include "platform/local_time.h"

namespace korvalen {
namespace {

CalendarTime FromTm(const std::tm& tm, int millisecond) {
    return CalendarTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                        tm.tm_min,         tm.tm_sec,     millisecond};
}

class PosixClock final : public Clock {
  public:
    CalendarTime LocalNow() const override { return Now(false); }
    CalendarTime UtcNow() const override { return Now(true); }
    std::uint32_t TickCountMs() const override {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }

  private:
    static CalendarTime Now(bool utc) {
        const auto now = std::chrono::system_clock::now();
        const std::time_t t = std::chrono::system_clock::to_time_t(now);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
        std::tm tm{};
        if (utc) {
            gmtime_r(&t, &tm);
        } else {
            localtime_r(&t, &tm);
        }
        return FromTm(tm, static_cast<int>(ms.count()));
    }
};

}  // namespace

bool ToLocalTm(std::time_t t, std::tm& out) {
    return localtime_r(&t, &out) != nullptr;
}

Clock& SystemClock() {
    static PosixClock clock;
    return clock;
}

}  // namespace korvalen
