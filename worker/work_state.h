// The state the workers share with each other and with whoever watches them.
#pragma once

#include <atomic>

#include "platform/manual_reset_event.h"
#include "worker/progress_claims.h"

namespace korvalen {

// What the workers (the reading thread and the passes of the job owner) share with each
// other. The job owner holds it and lets the window and the tools read it; every field is
// atomic or synchronises itself.
struct WorkState {
    std::atomic<bool> capture_active{false};  // while a capture handle is open
    std::atomic<int> decoding_pass_count{0};  // passes that have opened their dump
    ProgressClaims progress;
    ManualResetEvent decoding_abort;  // stops every running decoding pass

    // A flash transfer is being captured or a dump decoded.
    bool IsBusy() const { return capture_active.load() || decoding_pass_count.load() != 0; }
};

}  // namespace korvalen
