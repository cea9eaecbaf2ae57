#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace korvalen::testing {

// A tick count the test moves; the wall clocks are not used by the threads under test.
class TickClock : public Clock {
  public:
    CalendarTime LocalNow() const override { return {}; }
    CalendarTime UtcNow() const override { return {}; }
    std::uint32_t TickCountMs() const override { return ticks.load(); }
    std::atomic<std::uint32_t> ticks{1000};
};

}  // namespace korvalen::testing
