// A guard that runs its cleanup however the scope is left.
#pragma once

#include <utility>

namespace korvalen {

// Runs a function when the scope ends, however it ends: the release of a count or a
// claim that must not be lost when an exception passes through.
template <typename Function>
class ScopeExit {
  public:
    explicit ScopeExit(Function function) : function_(std::move(function)) {}
    ~ScopeExit() { function_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

  private:
    Function function_;
};

}  // namespace korvalen
