// Limits the size of the files this process writes, as a nearly full disk does: a write
// that crosses the limit is cut short, the next one fails with EFBIG. A real failure of
// the system's write, also for root (who may write into a read-only folder). POSIX only.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace korvalen::testing {

class ScopedFileSizeLimit {
  public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~ScopedFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_handler_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*old_handler_)(int) = nullptr;
};

}  // namespace korvalen::testing
