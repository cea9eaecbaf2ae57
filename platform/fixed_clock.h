// A clock that stands still, and the tools' choice between it and the system clock.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace korvalen {

// The environment variable that stops the tools' clock at one local time, so that every
// name and byte they take from the clock comes out the same on every run.
inline constexpr std::string_view kFrozenTimeVariable = "KORVALEN_FROZEN_TIME";

// Always the same local and UTC time; the tick count stays at 0.
class FixedClock : public Clock {
  public:
    FixedClock(const CalendarTime& local, const CalendarTime& utc) : local_(local), utc_(utc) {}
    CalendarTime LocalNow() const override { return local_; }
    CalendarTime UtcNow() const override { return utc_; }
    std::uint32_t TickCountMs() const override { return 0; }

  private:
    CalendarTime local_;
    CalendarTime utc_;
};

// A clock stopped at a local time written "YYYY-MM-DD hh:mm:ss", with its UTC time from
// this machine's time zone. Empty when the text is not such a time, or when the zone
// has no such local time (the hour skipped when the clocks go forward).
std::optional<FixedClock> FrozenClockAt(std::string_view local_time);

// The clock a tool runs on: the system clock, or the clock stopped at the time that
// KORVALEN_FROZEN_TIME gives. Null when the variable is set but holds no such time;
// `error` then says so, for the user.
const Clock* ToolClock(std::string& error);

}  // namespace korvalen
