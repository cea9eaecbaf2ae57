// The window's one progress bar shared among all workers by a mask of claim bits.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

namespace korvalen {

// The one progress bar of the window is shared by the reading thread and any number of
// decoding passes: each worker claims a bit of this mask, and the worker holding the
// highest set bit owns the bar. Claims and releases are single atomic updates.
class ProgressClaims {
  public:
    static constexpr int kNoClaim = -1;

    // Takes the bit just above the highest one set; kNoClaim when all 32 are in use
    // (that worker then never owns the bar).
    int Claim() {
        std::uint32_t mask = mask_.load();
        for (;;) {
            const int bit = static_cast<int>(std::bit_width(mask));
            if (bit >= 32)
                return kNoClaim;
            if (mask_.compare_exchange_weak(mask, mask + (std::uint32_t{1} << bit)))
                return bit;
        }
    }

    // Gives a claimed bit back; returns the mask that remains.
    std::uint32_t Release(int bit) {
        if (bit == kNoClaim)
            return mask_.load();
        const std::uint32_t value = std::uint32_t{1} << bit;
        return mask_.fetch_sub(value) - value;
    }

    bool Owns(int bit) const {
        return bit != kNoClaim && static_cast<int>(std::bit_width(mask_.load())) == bit + 1;
    }

    std::uint32_t mask() const { return mask_.load(); }

    // The range its owner gave the bar last (it starts at 0 .. 100): a worker that takes
    // the bar sets its own only when it differs.
    int range() const { return range_.load(); }
    void set_range(int range) { range_.store(range); }

  private:
    std::atomic<std::uint32_t> mask_{0};
    std::atomic<int> range_{100};
};

}  // namespace korvalen
