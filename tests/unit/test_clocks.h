// Clocks for tests: one that always reads the same time, and one whose tick count the
// test moves.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"
#include "platform/fixed_clock.h"

namespace korvalen::testing {

// Always the same local time (and, unless given, the same as UTC); the tick count stays
// at 0.
class StoppedClock : public FixedClock {
  public:
    explicit StoppedClock(CalendarTime local) : FixedClock(local, local) {}
    StoppedClock(CalendarTime local, CalendarTime utc) : FixedClock(local, utc) {}
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
