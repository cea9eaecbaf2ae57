// A capture moving the progress bar in thousands of bytes, while it owns the bar.
#include "serial/capture_progress.h"

#include <utility>

namespace korvalen {
namespace {

constexpr std::int64_t kBytesPerStep = 1000;

}  // namespace

void CaptureProgress::Update(std::int64_t announced_size, std::int64_t received) {
    if (!claimed_) {
        claim_bit_ = claims_.Claim();
        claimed_ = true;
    }
    if (!claims_.Owns(claim_bit_)) {
        owned_ = false;
        return;
    }
    if (owned_) {
        const std::int64_t steps = announced_size / kBytesPerStep;
        if (host_.ProgressRangeUpper() != steps) {
            host_.SetProgressPosition(0);
            host_.SetProgressRange(static_cast<std::uint16_t>(steps));
        }
    }
    host_.SetProgressPosition(static_cast<int>(received / kBytesPerStep));
    owned_ = true;
}

std::uint32_t CaptureProgress::Release() {
    owned_ = false;
    if (!std::exchange(claimed_, false))
        return claims_.mask();
    return claims_.Release(std::exchange(claim_bit_, ProgressClaims::kNoClaim));
}

}  // namespace korvalen
