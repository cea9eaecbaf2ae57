// Win32 side of the thread priority: above normal.
#include <windows.h>

#include "platform/thread_priority.h"

namespace korvalen {

void RaiseCurrentThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
}

}  // namespace korvalen
