#include <windows.h>

#include "platform/thread_priority.h"

namespace korvalen {

void RaiseCurrentThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
}

}  // namespace korvalen
