#pragma once

#include <atomic>

#include "app/progress_claims.h"
#include "platform/manual_reset_event.h"

namespace korvalen {

// What the main window shares with the reading thread, the decoding passes and the
// device test: owned by the window for the whole run, and touched by all of them.
// Every field is atomic or synchronises itself.
struct BusyState {
    std::atomic<bool> capture_active{false};    // written by the reading thread
    std::atomic<int> decoding_pass_count{0};    // changed by every decoding pass
    std::atomic<bool> test_dialog_open{false};  // written by the UI thread
    std::atomic<bool> reading_thread_running{false};
    // Threads started for decoding passes that have not ended yet. It rises before the
    // thread starts and falls as the thread's very last step, so the window can wait for
    // it before it lets go of this state and of the pass's host.
    std::atomic<int> decoding_threads{0};
    ProgressClaims progress;
    ManualResetEvent reading_stop;    // stops the reading thread
    ManualResetEvent decoding_abort;  // stops every running decoding pass

    // The window refuses to close and disables its reader commands while busy.
    bool IsBusy() const { return capture_active.load() || decoding_pass_count.load() != 0; }
};

}  // namespace korvalen
