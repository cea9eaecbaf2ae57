// Win32 side of the command-line tools: the UTF-16 command line, the UTF-8 console, Ctrl+C
// and the console's end.
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/console.h"
#include "platform/console_win32.h"
#include "platform/wide_string_win32.h"

namespace korvalen {
namespace {

// The callback is set by the tool's thread and called by the console's handler thread or
// a service's control thread: the mutex orders them, so that an interrupt that comes
// before the callback is set is delivered when it is.
std::mutex callback_mutex;
std::function<void()> callback;  // guarded by callback_mutex, as is:
bool callback_called = false;

std::atomic<bool> interrupted{false};
std::atomic<bool> service_only{false};

void CallInterruptCallback() {
    std::lock_guard lock(callback_mutex);
    if (callback && !callback_called) {
        callback_called = true;
        callback();
    }
}

// Windows gives a process five seconds once its console closes, the user logs off or the
// system shuts down; then it ends the process, or names it to the user as holding the
// session up. The wait ends a little before.
constexpr DWORD kSessionEndGraceMs = 4500;

// The session ends: what a Ctrl+C asks is started (unless a Ctrl+C started it already),
// and the system is kept from ending the process while the tool does it. The tool's own
// end, with its own status, ends the wait.
void EndOfSession() {
    if (!interrupted.exchange(true))
        CallInterruptCallback();
    Sleep(kSessionEndGraceMs);
}

// The system calls this on a thread of its own, where setting events is safe; at the
// session's end it ends the process once this returns.
BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            if (interrupted.exchange(true))
                std::_Exit(130);
            CallInterruptCallback();
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            EndOfSession();
            return TRUE;
        default:
            return FALSE;
    }
}

// A process that has user32 loaded (the tools have: the shell's and the device lists'
// libraries bring it) is told of a log-off or a shutdown as a window is, not through the
// console handler: WM_QUERYENDSESSION, then WM_ENDSESSION, sent to its top-level windows.
// The session may end once WM_ENDSESSION has been answered.
LRESULT CALLBACK SessionWindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_QUERYENDSESSION)
        return TRUE;
    if (message == WM_ENDSESSION) {
        if (wparam)
            EndOfSession();
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// A hidden top-level window (a message-only window hears no broadcast) on a thread of its
// own, for the whole run: both live as long as the process.
void WatchSessionEnd() {
    std::thread([] {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = SessionWindowProcedure;
        window_class.hInstance = instance;
        window_class.lpszClassName = L"KorvalenToolSession";
        if (!RegisterClassW(&window_class))
            return;
        if (!CreateWindowExW(0, window_class.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                             nullptr, instance, nullptr))
            return;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
    }).detach();
}

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    const std::unique_ptr<LPWSTR[], decltype(&LocalFree)> wide(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    if (!wide)
        return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(Narrow(wide[i]));
    return arguments;
}

void UseUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
}

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

bool StandardOutputIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

void AllowManyOpenFiles() {}

void WatchInterrupts(std::function<void()> on_first_interrupt) {
    {
        std::lock_guard lock(callback_mutex);
        callback = std::move(on_first_interrupt);
    }
    if (interrupted)
        CallInterruptCallback();
    if (service_only)
        return;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    WatchSessionEnd();
}

void TakeInterruptsFromServiceOnly() {
    service_only = true;
}

void RaiseInterrupt() {
    if (!interrupted.exchange(true))
        CallInterruptCallback();
}

char FolderSeparator() {
    return '\\';
}

}  // namespace korvalen
