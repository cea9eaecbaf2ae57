// The state the workers share with each other and with whoever starts them.
#pragma once

#include <atomic>

#include "platform/manual_reset_event.h"
#include "worker/progress_claims.h"

namespace korvalen {

// What the workers (the reading thread and the passes of the job owner) share with each
// other and with the window. The job owner holds it; every field is atomic or
// synchronises itself.
struct WorkState {
    std::atomic<bool> capture_active{false};  // written by the reading thread
    std::atomic<int> decoding_pass_count{0};  // passes that have opened their dump
    // Threads of the job owner that have not ended yet. It rises before a thread starts
    // and falls as its very last step, so whoever waits for the workers waits for it.
    std::atomic<int> decoding_threads{0};
    ProgressClaims progress;
    ManualResetEvent decoding_abort;  // stops every running decoding pass

    // A flash transfer is being captured or a dump decoded.
    bool IsBusy() const { return capture_active.load() || decoding_pass_count.load() != 0; }
};

}  // namespace korvalen
