// The state the workers share with each other and with whoever starts them.
#pragma once

#include <atomic>

#include "platform/manual_reset_event.h"
#include "worker/progress_claims.h"

namespace korvalen {

// What the workers (the reading thread and the decoding passes) share with each other
// and with whoever starts them: the window, a tool, a test. It lives as long as its
// owner; every field is atomic or synchronises itself.
struct WorkState {
    std::atomic<bool> capture_active{false};  // written by the reading thread
    std::atomic<int> decoding_pass_count{0};  // changed by every decoding pass
    // Threads started for decoding passes that have not ended yet. It rises before the
    // thread starts and falls as the thread's very last step, so the owner can wait for
    // it before it lets go of this state and of the pass's host.
    std::atomic<int> decoding_threads{0};
    ProgressClaims progress;
    ManualResetEvent decoding_abort;  // stops every running decoding pass

    // A flash transfer is being captured or a dump decoded.
    bool IsBusy() const { return capture_active.load() || decoding_pass_count.load() != 0; }
};

}  // namespace korvalen
