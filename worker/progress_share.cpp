// A worker's steps on the shared progress bar.
#include "worker/progress_share.h"

#include <utility>

namespace korvalen {

bool ProgressShare::OwnsNow() {
    if (!claimed_) {
        claim_bit_ = claims_.Claim();
        claimed_ = true;
    }
    return claims_.Owns(claim_bit_);
}

void ProgressShare::SetRangeIfChanged(std::int64_t steps) {
    const int range = static_cast<std::uint16_t>(steps);
    if (claims_.range() != range) {
        claims_.set_range(range);
        events_.ProgressMoved({.range = range, .position = 0});
    }
}

void ProgressShare::ShowCapture(std::int64_t announced_size, std::int64_t received) {
    const bool owns = OwnsNow();
    if (owns) {
        if (owned_)
            SetRangeIfChanged(announced_size / kBytesPerStep);
        events_.ProgressMoved(
            {.range = {}, .position = static_cast<int>(received / kBytesPerStep)});
    }
    owned_ = owns;
}

void ProgressShare::ShowPass(std::int64_t bytes_read, std::int64_t length) {
    const bool owns = OwnsNow();
    if (owns && !owned_)
        SetRangeIfChanged(length / kBytesPerStep);
    if (owns && bytes_read % kBytesPerStep == 0)
        events_.ProgressMoved(
            {.range = {}, .position = static_cast<int>(bytes_read / kBytesPerStep)});
    owned_ = owns;
}

std::uint32_t ProgressShare::Release() {
    owned_ = false;
    if (!std::exchange(claimed_, false))
        return claims_.mask();
    return claims_.Release(std::exchange(claim_bit_, ProgressClaims::kNoClaim));
}

}  // namespace korvalen
