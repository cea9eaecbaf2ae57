// korvalen-read's options for a Windows service, read on any system: which service, what
// to do with it, and the command line the installed service runs.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvalen {

constexpr std::string_view kDefaultServiceName = "korvalen-read";

struct ServiceCommand {
    enum class Action { Install, Uninstall, Run };
    Action action = Action::Install;
    std::string name{kDefaultServiceName};
    // Everything else of the command line, as given: the read options and the port.
    std::vector<std::string> read_arguments;
};

// The command line's service action (--install-service, --uninstall-service, or the
// service control manager's --run-as-service NAME) with --service-name; empty when it
// has none. Throws UsageError.
std::optional<ServiceCommand> TakeServiceCommand(const std::vector<std::string>& arguments);

// Where a service keeps what it reads when the command line does not say: a data folder
// of its own and the InBox that every service of the machine shares.
struct ServiceFolders {
    std::string data;
    std::string inbox;
};

// The read options of an installed service's runs: --wait, then the options given, their
// folders made full paths by `full_path` (a service runs in the system's folder), then
// the default folders where neither the options nor a settings file name them. Throws
// UsageError for an option a service cannot take (a service reads with --wait until it
// is stopped).
std::vector<std::string> ServiceReadArguments(
    const std::vector<std::string>& given, const ServiceFolders& defaults,
    const std::function<std::string(const std::string&)>& full_path);

// The folder a service's run works in: the settings file's (a relative InBox there
// means what it means to the program beside it), else the data folder; empty when the
// arguments name neither.
std::string ServiceWorkingFolder(const std::vector<std::string>& read_arguments);

// One argument of a Windows command line as the C run-time and CommandLineToArgvW read
// it back: quoted when it holds a blank or a quote or is empty, with the backslashes
// before a quote and at the end of a quoted argument doubled ("C:\Data\" would
// otherwise swallow its closing quote).
std::string QuoteCommandLineArgument(std::string_view argument);

}  // namespace korvalen
