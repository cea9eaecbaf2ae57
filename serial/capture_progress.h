// The progress bar during a capture, shared with the decoding passes by the claim mask.
#pragma once

#include <cstdint>

#include "worker/progress_claims.h"
#include "worker/worker_host.h"

namespace korvalen {

// A capture's share of the window's progress bar, which it shares with the decoding
// passes through the claim mask. It claims a bit at its first poll with data; while it
// holds the highest bit it owns the bar, shows the payload count in thousands of bytes
// and, from its second poll as owner on, sets the range when the announced size changed
// it (the header replaces the first guess). The bar is touched once per poll at most.
class CaptureProgress {
  public:
    CaptureProgress(ProgressClaims& claims, WorkerHost& host) : claims_(claims), host_(host) {}

    // At each poll with data, before its read: `received` is the count so far.
    void Update(std::int64_t announced_size, std::int64_t received);
    // At the end of the capture; returns the mask that remains.
    std::uint32_t Release();

  private:
    ProgressClaims& claims_;
    WorkerHost& host_;
    int claim_bit_ = ProgressClaims::kNoClaim;
    bool claimed_ = false;
    bool owned_ = false;
};

}  // namespace korvalen
