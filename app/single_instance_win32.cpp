// The single-instance check: a named mutex, and the top-level window that answers the query.
#include "app/single_instance_win32.h"

#include "app/win32_handles_win32.h"

namespace korvalen {
namespace {

constexpr wchar_t kInstanceMutexName[] = L"Korvalen-088FA840-B10D-11D3-BC36-006067709674";

struct Search {
    HWND self;
    HWND found = nullptr;
};

BOOL CALLBACK AskWindow(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<Search*>(parameter);
    // The asking instance's own window would answer too.
    if (window == search.self)
        return TRUE;
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(window, kInstanceQueryMessage, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 200,
                            &answer) != 0 &&
        static_cast<LRESULT>(answer) == kInstanceQueryAnswer) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool AnotherInstanceRuns() {
    // Kept for the whole run: the name exists as long as one instance holds a handle.
    static UniqueKernelHandle mutex;
    mutex.reset(CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED);
}

HWND FindRunningInstance(HWND self) {
    Search search{self};
    EnumWindows(AskWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace korvalen
