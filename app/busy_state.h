// Whether the main window is busy: the state it shares with its workers.
#pragma once

#include <atomic>

#include "worker/work_state.h"

namespace korvalen {

// What the main window shares with its workers: their own shared block, and the flag of
// the device test dialog, which only the window's thread writes.
struct BusyState {
    WorkState work;
    std::atomic<bool> test_dialog_open{false};

    // The window refuses to close and disables its reader commands while busy.
    bool IsBusy() const { return work.IsBusy(); }
};

}  // namespace korvalen
