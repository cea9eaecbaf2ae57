// Waiting on the window's thread without leaving its windows unanswered.
#pragma once

#include <functional>

namespace korvalen {

// Answers the calling thread's messages until `done` returns true, so that a worker the
// thread waits for can still send to its windows. A quit request that comes meanwhile
// is posted again afterwards, for the loop it was meant for.
void PumpMessagesUntil(const std::function<bool()>& done);

}  // namespace korvalen
