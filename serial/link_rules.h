// When a port counts as gone, and when a port that went is tried again: the rules of a
// link that heals itself, without the port, the window or the clock.
#pragma once

#include <cstdint>

namespace korvalen {

// A USB adapter pulled out shows as a port whose status query fails at every poll. Ten
// failed polls in a row (a second) outside a capture mean the device is gone; during a
// capture the read-error path tells the user instead, and the count starts again.
class LostPortRule {
  public:
    static constexpr int kFailedPolls = 10;

    // At each poll of the reading thread. True at the one poll at which the port has
    // just counted as gone.
    bool OnPoll(bool query_failed, bool capturing) {
        if (!query_failed || capturing) {
            failed_ = 0;
            return false;
        }
        return ++failed_ == kFailedPolls;
    }

  private:
    int failed_ = 0;
};

// While a port that was lost (not one the operator closed) stays closed, it is tried
// again every two seconds, and at once when the system announces a new device.
class ReopenSchedule {
  public:
    static constexpr std::uint32_t kRetryMs = 2000;

    // The port was lost at `now`: the first try comes two seconds on.
    void Lost(std::uint32_t now) {
        retrying_ = true;
        next_ms_ = now + kRetryMs;
    }
    // Opened (by a try or by the operator), or closed by the operator: no more tries.
    void Stop() { retrying_ = false; }
    // A device has come: the next try is due at once.
    void DeviceArrived(std::uint32_t now) {
        if (retrying_)
            next_ms_ = now;
    }
    // A try that failed at `now`: the next one two seconds on.
    void Failed(std::uint32_t now) { next_ms_ = now + kRetryMs; }

    bool retrying() const { return retrying_; }
    // Unsigned difference: right across the wrap of the tick count.
    bool Due(std::uint32_t now) const {
        return retrying_ && static_cast<std::int32_t>(now - next_ms_) >= 0;
    }

  private:
    bool retrying_ = false;
    std::uint32_t next_ms_ = 0;
};

}  // namespace korvalen
