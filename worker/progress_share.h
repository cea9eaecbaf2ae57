// One worker's share of the window's progress bar: its claim, and what it shows while it
// owns the bar.
#pragma once

#include <cstdint>

#include "worker/progress_claims.h"
#include "worker/worker_host.h"

namespace korvalen {

// The one progress bar is shared by the capture and any number of passes through the
// claim mask: each worker claims a bit at its first step, the holder of the highest bit
// owns the bar, and the bar counts thousands of bytes. The two kinds of worker differ only
// in when they set the range: a capture from its second step as owner (its first size is
// a guess that the reply header replaces), a pass when it becomes the owner.
class ProgressShare {
  public:
    static constexpr std::int64_t kBytesPerStep = 1000;

    ProgressShare(ProgressClaims& claims, WorkerHost& bar) : claims_(claims), bar_(bar) {}

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
    WorkerHost& bar_;
    int claim_bit_ = ProgressClaims::kNoClaim;
    bool claimed_ = false;
    bool owned_ = false;  // at the previous step
};

}  // namespace korvalen
