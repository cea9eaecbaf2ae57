// A raised priority for the reading thread, so that decoding never starves its polls.
#pragma once

namespace korvalen {

// Raises the calling thread above normal priority, so that the serial reader keeps its
// 100 ms polls while decoding passes use the processor. Where the system does not let
// an ordinary user do that, the thread keeps its priority.
void RaiseCurrentThreadPriority();

}  // namespace korvalen
