// Clocks for tests: one that always reads the same time, and one whose tick count the
// test moves.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace korvalen::testing {

// Always the same local and UTC time; the tick count stays at 0.
class StoppedClock : public Clock {
  public:
    explicit StoppedClock(CalendarTime local) : StoppedClock(local, local) {}
    StoppedClock(CalendarTime local, CalendarTime utc) : local_(local), utc_(utc) {}
    CalendarTime LocalNow() const override { return local_; }
    CalendarTime UtcNow() const override { return utc_; }
    std::uint32_t TickCountMs() const override { return 0; }

  private:
    CalendarTime local_;
    CalendarTime utc_;
};

// A tick count the test moves; the wall clocks are not used by the threads under test.
class TickClock : public Clock {
  public:
    CalendarTime LocalNow() const override { return {}; }
    CalendarTime UtcNow() const override { return {}; }
    std::uint32_t TickCountMs() const override { return ticks.load(); }
    std::atomic<std::uint32_t> ticks{1000};
};

}  // namespace korvalen::testing
