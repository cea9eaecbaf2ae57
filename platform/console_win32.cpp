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

#include "platform/console.h"
#include "platform/wide_string_win32.h"

namespace korvalen {
namespace {

std::function<void()>& InterruptCallback() {
    static std::function<void()> callback;
    return callback;
}

std::atomic<bool> interrupted{false};
// Atomics only: the handler may still be waiting while the process ends and the C
// library destroys its statics.
std::atomic<bool> handled{false};

// The system ends the process five seconds after a console closes, whatever the handler
// does; a little less leaves the tool's last lines time to reach the disk.
constexpr DWORD kSessionEndGraceMs = 4500;
constexpr DWORD kHandledPollMs = 50;

// The system calls this on a thread of its own, where setting events is safe.
BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            if (interrupted.exchange(true))
                std::_Exit(130);
            InterruptCallback()();
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The process ends once this returns: it returns when the tool has done what
            // a Ctrl+C asks, or when time is up. A Ctrl+C before is already being handled.
            if (!interrupted.exchange(true))
                InterruptCallback()();
            for (DWORD waited = 0; !handled.load() && waited < kSessionEndGraceMs;
                 waited += kHandledPollMs) {
                Sleep(kHandledPollMs);
            }
            return TRUE;
        default:
            return FALSE;
    }
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
    InterruptCallback() = std::move(on_first_interrupt);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void InterruptHandled() {
    handled = true;
}

char FolderSeparator() {
    return '\\';
}

}  // namespace korvalen
