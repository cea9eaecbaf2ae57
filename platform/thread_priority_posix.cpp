// POSIX side of the thread priority, which an ordinary user cannot raise.
#include "platform/thread_priority.h"

namespace korvalen {

// Linux lets only privileged processes raise a thread's priority; the polls are short
// and the reader's queue is large, so the default scheduling serves.
void RaiseCurrentThreadPriority() {}

}  // namespace korvalen
