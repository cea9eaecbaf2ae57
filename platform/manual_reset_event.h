// A portable event for stop and abort requests, which wakes sleeping threads at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace korvalen {

// An event that stays signalled until it is reset, as the Win32 manual-reset event.
// Threads sleep on it instead of polling, so a stop request wakes them at once.
class ManualResetEvent {
  public:
    void Set() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        changed_.notify_all();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }
    bool IsSet() const {
        std::lock_guard lock(mutex_);
        return signalled_;
    }
    // True when the event is (or becomes) signalled within `timeout`.
    bool WaitFor(std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return signalled_; });
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool signalled_ = false;  // guarded by mutex_
};

}  // namespace korvalen
