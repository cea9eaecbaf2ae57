// One worker's share of the road's one progress: its claim, and the steps it tells while
// it owns the progress.
#pragma once

#include <cstdint>

#include "worker/progress_claims.h"
#include "worker/road_events.h"

namespace korvalen {

// The one progress bar is shared by the capture and any number of passes through the
// claim mask: each worker claims a bit at its first step, the holder of the highest bit
// owns the bar, and the bar counts thousands of bytes. The two kinds of worker differ only
// in when they set the range: a capture from its second step as owner (its first size is
// a guess that the reply header replaces), a pass when it becomes the owner.
class ProgressShare {
  public:
    static constexpr std::int64_t kBytesPerStep = 1000;

    ProgressShare(ProgressClaims& claims, RoadEvents& events) : claims_(claims), events_(events) {}

    // A capture at each poll with data, before its read; `received` is the count so far.
    void ShowCapture(std::int64_t announced_size, std::int64_t received);
    // A pass after each thousand bytes it has read, and after its last.
    void ShowPass(std::int64_t bytes_read, std::int64_t length);
    // Gives the claim back; returns the mask that remains. 0 means nobody holds the bar.
    std::uint32_t Release();

  private:
    // Claims a bit at the first call; whether the worker owns the bar now.
    bool OwnsNow();
    void SetRangeIfChanged(std::int64_t steps);

    ProgressClaims& claims_;
    RoadEvents& events_;
    int claim_bit_ = ProgressClaims::kNoClaim;
    bool claimed_ = false;
    bool owned_ = false;  // at the previous step
};

}  // namespace korvalen
