// How the tests start a program of the project: with no signals blocked and every signal
// at its default action, whatever the test runner set up; the program then takes its
// own signals.
#pragma once

#include <signal.h>
#include <spawn.h>

namespace korvalen::testing {

class DefaultSignalsAttributes {
  public:
    DefaultSignalsAttributes() {
        posix_spawnattr_init(&attributes_);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~DefaultSignalsAttributes() { posix_spawnattr_destroy(&attributes_); }
    DefaultSignalsAttributes(const DefaultSignalsAttributes&) = delete;
    DefaultSignalsAttributes& operator=(const DefaultSignalsAttributes&) = delete;

    const posix_spawnattr_t* get() const { return &attributes_; }

  private:
    posix_spawnattr_t attributes_;
};

}  // namespace korvalen::testing
