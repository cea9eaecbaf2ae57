// Win32 side of the command-line tools: the UTF-16 command line, the UTF-8 console, Ctrl+C.
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

// The system calls this on a thread of its own, where setting events is safe.
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    if (interrupted.exchange(true))
        std::_Exit(130);
    InterruptCallback()();
    return TRUE;
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

char FolderSeparator() {
    return '\\';
}

}  // namespace korvalen
