// korvalen-read as a Windows service: --install-service registers it with the service
// control manager, --uninstall-service stops and removes it, and the manager starts it
// with --run-as-service NAME, which runs `korvalen-read --wait` until a stop.
#include <windows.h>
// The known folders need the types of windows.h.
#include <knownfolders.h>
#include <shlobj.h>

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include "platform/console.h"
#include "platform/console_win32.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "platform/wide_string_win32.h"
#include "tools/command_line.h"
#include "tools/read/event_log_win32.h"
#include "tools/read/read_log_printer.h"
#include "tools/read/service.h"
#include "tools/read/service_command.h"

namespace korvalen {
namespace {

using namespace std::chrono_literals;

struct CloseServiceHandleOf {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CloseServiceHandleOf>;

// How long a restart after a failure waits (a reader's adapter not plugged in yet at
// boot, a full disk): the manager repeats the last action for every later failure.
constexpr DWORD kRestartDelayMs = 10'000;
// A shutdown waits this long for a stopped transfer's part to be decoded and delivered.
constexpr DWORD kPreshutdownTimeoutMs = 30'000;
// What the manager is told to allow between two reports of a stop under way; one comes
// every second while the run ends.
constexpr DWORD kStopWaitHintMs = 5'000;

std::string Reason(DWORD code) {
    return SystemErrorText(static_cast<int>(code));
}

// A fault of the caller's (no right, a name taken): status 2, as a usage error.
int CallerFault(const std::string& text) {
    std::cerr << "korvalen-read: " << text << '\n';
    return 2;
}

int SystemFault(const std::string& what, DWORD code) {
    std::cerr << "korvalen-read: " << what << ": " << Reason(code) << '\n';
    return 1;
}

int ManagerUnopened(DWORD code) {
    if (code == ERROR_ACCESS_DENIED) {
        return CallerFault(
            "the service control manager refused access: installing or removing a service "
            "needs an administrator (a command prompt started with \"Run as administrator\")");
    }
    return SystemFault("cannot open the service control manager", code);
}

std::wstring ProgramDataFolder() {
    PWSTR path = nullptr;
    std::wstring folder = L"C:\\ProgramData";
    if (SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path) == S_OK)
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

std::string FullPath(const std::string& path) {
    const std::wstring wide = Widen(path);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    full.resize(length);
    return Narrow(full);
}

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string JoinedCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty())
            line += ' ';
        line += QuoteCommandLineArgument(argument);
    }
    return line;
}

// --- Install and uninstall -----------------------------------------------------------

// The manager's settings beyond CreateServiceW: the description, a restart after every
// failure, and the time a shutdown gives. False with the code of the first that failed.
bool Configure(SC_HANDLE service, const std::string& description, DWORD& code) {
    std::wstring text = Widen(description);
    SERVICE_DESCRIPTIONW about{text.data()};
    SC_ACTION restart{SC_ACTION_RESTART, kRestartDelayMs};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = 1;
    failure.lpsaActions = &restart;
    SERVICE_PRESHUTDOWN_INFO shutdown{kPreshutdownTimeoutMs};
    const bool done = ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &about) &&
                      ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) &&
                      ChangeServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &shutdown);
    code = done ? ERROR_SUCCESS : GetLastError();
    if (!done)
        return false;
    // A run that ends with a status of its own (the port not there yet at boot) is a
    // failure too, not only a crash. A manager that does not know the setting (Wine's)
    // restarts after crashes only.
    SERVICE_FAILURE_ACTIONS_FLAG on_status{TRUE};
    if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &on_status)) {
        code = GetLastError();
        if (code != ERROR_INVALID_LEVEL)
            return false;
        std::cerr << "korvalen-read: this system's service manager restarts the service after "
                     "a crash only, not after a run that ended with a status of its own\n";
    }
    return true;
}

int Install(const ServiceCommand& command) {
    const std::string station = Narrow(ProgramDataFolder()) + "\\Korvalen\\";
    const ServiceFolders defaults{station + "Data\\" + command.name + "\\", station + "InBox\\"};
    std::vector<std::string> run;
    try {
        run = ServiceReadArguments(command.read_arguments, defaults, FullPath);
    } catch (const UsageError& e) {
        std::cerr << "korvalen-read: " << e.text << "\nTry 'korvalen-read --help'.\n";
        return 2;
    }
    const std::wstring program = ProgramPath();
    const std::string line = QuoteCommandLineArgument(Narrow(program)) + " --run-as-service " +
                             command.name + " " + JoinedCommandLine(run);

    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager)
        return ManagerUnopened(GetLastError());
    const std::wstring name = Widen(command.name);
    const std::wstring display = Widen("Korvalen reading station (" + command.name + ")");
    const ServiceHandle service(
        CreateServiceW(manager.get(), name.c_str(), display.c_str(), SERVICE_CHANGE_CONFIG | DELETE,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                       Widen(line).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        const DWORD code = GetLastError();
        if (code == ERROR_SERVICE_EXISTS || code == ERROR_DUPLICATE_SERVICE_NAME) {
            return CallerFault("a service named " + command.name +
                               " is installed already: give another --service-name, or "
                               "remove it first (--uninstall-service)");
        }
        if (code == ERROR_SERVICE_MARKED_FOR_DELETE) {
            return CallerFault("the service " + command.name +
                               " is being removed: close the Services window and try again");
        }
        if (code == ERROR_ACCESS_DENIED)
            return ManagerUnopened(code);
        return SystemFault("cannot install the service " + command.name, code);
    }
    DWORD code = ERROR_SUCCESS;
    if (!Configure(service.get(),
                   "Reads the loggers behind the reader on " + run.back() +
                       " (korvalen-read --wait) and delivers their routes "
                       "into the InBox.",
                   code)) {
        DeleteService(service.get());
        return SystemFault("cannot set the restart after a failure of " + command.name, code);
    }
    if (!RegisterEventMessages(name, program)) {
        std::cerr << "korvalen-read: the event log will show the service's entries without "
                     "their descriptions (the registry could not be written)\n";
    }
    std::cout << "Installed the service " << command.name
              << ", which starts with the system: " << line << '\n'
              << "Start it now with: sc start " << command.name << '\n';
    return 0;
}

// Only a service that runs korvalen-read as a station is removed: a wrong name must never
// remove another program's service.
bool IsStation(SC_HANDLE service) {
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (needed == 0 || !QueryServiceConfigW(service, config, needed, &needed))
        return false;
    return config->lpBinaryPathName &&
           std::wstring_view(config->lpBinaryPathName).find(L" --run-as-service ") !=
               std::wstring_view::npos;
}

DWORD CurrentState(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof(status), &needed))
        return 0;
    return status.dwCurrentState;
}

int Uninstall(const ServiceCommand& command) {
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return ManagerUnopened(GetLastError());
    const std::wstring name = Widen(command.name);
    const ServiceHandle service(
        OpenServiceW(manager.get(), name.c_str(),
                     SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_STOP | DELETE));
    if (!service) {
        const DWORD code = GetLastError();
        if (code == ERROR_SERVICE_DOES_NOT_EXIST)
            return CallerFault("there is no service named " + command.name);
        if (code == ERROR_ACCESS_DENIED)
            return ManagerUnopened(code);
        return SystemFault("cannot open the service " + command.name, code);
    }
    if (!IsStation(service.get())) {
        return CallerFault("the service " + command.name +
                           " is not a station of korvalen-read: it was left as it is");
    }
    // A transfer under way is stopped as the abort stops it, its part delivered, before
    // the service goes.
    if (CurrentState(service.get()) != SERVICE_STOPPED) {
        std::cerr << "korvalen-read: stopping the service " << command.name << '\n';
        SERVICE_STATUS status{};
        // One that is starting or stopping already takes no stop: it is waited for.
        if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
            const DWORD code = GetLastError();
            if (code != ERROR_SERVICE_NOT_ACTIVE && code != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
                return SystemFault("cannot stop the service " + command.name, code);
        }
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (CurrentState(service.get()) != SERVICE_STOPPED) {
            if (std::chrono::steady_clock::now() > deadline)
                return SystemFault("the service " + command.name + " did not stop", ERROR_TIMEOUT);
            std::this_thread::sleep_for(200ms);
        }
    }
    if (!DeleteService(service.get()))
        return SystemFault("cannot remove the service " + command.name, GetLastError());
    UnregisterEventMessages(name);
    std::cout << "Removed the service " << command.name
              << "; its data folder and the InBox are left as they are\n";
    return 0;
}

// --- The run under the service control manager ---------------------------------------

// What the control handler (on the dispatcher's thread) and the service main share: the
// handler only asks for the stop and returns; the service main reports the states.
class StopState {
  public:
    void RequestStop(const char* why) {
        std::lock_guard lock(mutex_);
        if (!why_)
            why_ = why;
        changed_.notify_all();
    }
    void RunEnded() {
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }
    // Waits up to `timeout` for the run's end or a stop asked for since the last wait.
    void Wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [this] { return ended_ || (why_ && !stop_seen_); });
        stop_seen_ = why_ != nullptr;
    }
    bool ended() const {
        std::lock_guard lock(mutex_);
        return ended_;
    }
    // Why a stop was asked for; null when none was.
    const char* stop_reason() const {
        std::lock_guard lock(mutex_);
        return why_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    const char* why_ = nullptr;  // guarded by mutex_, as are:
    bool stop_seen_ = false;     // the waiter has seen why_
    bool ended_ = false;
};

// The one run of this process: set before the dispatcher starts, which calls ServiceMain
// on a thread of its own and the control handler on the dispatcher's thread.
struct ServiceRun {
    std::string name;
    std::vector<std::string> read_arguments;
    ReadRun read = nullptr;
    StopState stop;
    ReadLogPrinter printer;
    int status = 1;  // the run's exit status, written before stop.RunEnded()
};
ServiceRun* service_run = nullptr;

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void* context) {
    auto& run = *static_cast<ServiceRun*>(context);
    switch (control) {
        case SERVICE_CONTROL_STOP:
            run.stop.RequestStop("stopped");
            RaiseInterrupt();
            return NO_ERROR;
        case SERVICE_CONTROL_SHUTDOWN:
        case SERVICE_CONTROL_PRESHUTDOWN:
            run.stop.RequestStop("stopped for the system's shutdown");
            RaiseInterrupt();
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

class StatusReporter {
  public:
    explicit StatusReporter(SERVICE_STATUS_HANDLE handle) : handle_(handle) {
        status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    }
    void Report(DWORD state, DWORD wait_hint_ms = 0) {
        status_.dwCurrentState = state;
        status_.dwControlsAccepted =
            state == SERVICE_RUNNING
                ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN
                : 0;
        const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        status_.dwCheckPoint = pending ? status_.dwCheckPoint + 1 : 0;
        status_.dwWaitHint = wait_hint_ms;
        SetServiceStatus(handle_, &status_);
    }
    // The run's exit status: 0 and 130 (stopped) are a clean end; any other a failure,
    // after which the manager restarts the service.
    void Stopped(int exit_status) {
        const bool clean = exit_status == 0 || exit_status == 130;
        status_.dwWin32ExitCode = clean ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
        status_.dwServiceSpecificExitCode = clean ? 0 : static_cast<DWORD>(exit_status);
        Report(SERVICE_STOPPED);
    }

  private:
    const SERVICE_STATUS_HANDLE handle_;
    SERVICE_STATUS status_{};
};

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    ServiceRun& run = *service_run;
    const std::wstring name = Widen(run.name);
    const SERVICE_STATUS_HANDLE handle =
        RegisterServiceCtrlHandlerExW(name.c_str(), OnControl, &run);
    if (!handle)
        return;
    StatusReporter reporter(handle);
    reporter.Report(SERVICE_START_PENDING, 10'000);
    EventLog events(name);

    // A service has no console: what the run prints goes into the read log once the run
    // knows its folder, and the last of it into the event log when it fails.
    std::streambuf* const standard_output = std::cout.rdbuf(&run.printer);
    std::streambuf* const standard_error = std::cerr.rdbuf(&run.printer);
    const std::string folder = ServiceWorkingFolder(run.read_arguments);
    if (!folder.empty()) {
        static_cast<void>(CreateFolders(folder));  // the run says why one cannot be made
        SetCurrentDirectoryW(Widen(folder).c_str());
    }
    std::thread reading([&run] {
        run.status = run.read(run.read_arguments);
        run.stop.RunEnded();
    });
    reporter.Report(SERVICE_RUNNING);
    events.Report(EventLog::Kind::Information,
                  run.name + " started: korvalen-read " + JoinedCommandLine(run.read_arguments));
    // A stop under way is reported at once and then every second, each report a step.
    while (!run.stop.ended()) {
        run.stop.Wait(1s);
        if (run.stop.stop_reason() && !run.stop.ended())
            reporter.Report(SERVICE_STOP_PENDING, kStopWaitHintMs);
    }
    reading.join();
    std::cout.rdbuf(standard_output);
    std::cerr.rdbuf(standard_error);

    const char* const stop = run.stop.stop_reason();
    if (run.status == 130 || (run.status == 0 && stop)) {
        events.Report(EventLog::Kind::Information, run.name + " " + (stop ? stop : "stopped"));
    } else {
        std::string text = run.name + " ended with status " + std::to_string(run.status);
        for (const std::string& line : run.printer.LastLines())
            text += "\r\n" + line;
        events.Report(run.status == 0 ? EventLog::Kind::Information : EventLog::Kind::Error, text);
    }
    reporter.Stopped(run.status);
}

int RunAsService(const ServiceCommand& command, ReadRun read) {
    ServiceRun run;
    run.name = command.name;
    run.read_arguments = command.read_arguments;
    run.read = read;
    service_run = &run;
    TakeInterruptsFromServiceOnly();
    std::wstring name = Widen(command.name);
    SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        const DWORD code = GetLastError();
        service_run = nullptr;
        if (code == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            return CallerFault(
                "--run-as-service is the service control manager's: start the "
                "service with 'sc start " +
                command.name + "'");
        }
        return SystemFault("cannot run as the service " + command.name, code);
    }
    service_run = nullptr;
    return run.status;
}

}  // namespace

std::optional<int> RunServiceCommand(const std::vector<std::string>& arguments, ReadRun read) {
    std::optional<ServiceCommand> command;
    try {
        command = TakeServiceCommand(arguments);
    } catch (const UsageError& e) {
        std::cerr << "korvalen-read: " << e.text << "\nTry 'korvalen-read --help'.\n";
        return 2;
    }
    if (!command)
        return std::nullopt;
    switch (command->action) {
        case ServiceCommand::Action::Install:
            return Install(*command);
        case ServiceCommand::Action::Uninstall:
            return Uninstall(*command);
        case ServiceCommand::Action::Run:
            return RunAsService(*command, read);
    }
    return 2;
}

bool PrintIntoReadLogUnderService(const std::string& data_folder) {
    if (!service_run)
        return false;
    service_run->printer.UseDataFolder(data_folder);
    return true;
}

}  // namespace korvalen
