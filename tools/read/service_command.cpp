// The service's options and the command line of its runs.
#include "tools/read/service_command.h"

#include <algorithm>

#include "tools/command_line.h"

namespace korvalen {
namespace {

bool IsServiceName(std::string_view name) {
    return !name.empty() && name.size() <= 80 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '.';
    });
}

// The value of `option` ("--data") in read arguments as ServiceReadArguments writes them.
std::optional<std::string> ValueOf(const std::vector<std::string>& arguments,
                                   std::string_view option) {
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == option)
            return arguments[i + 1];
    }
    return std::nullopt;
}

}  // namespace

std::optional<ServiceCommand> TakeServiceCommand(const std::vector<std::string>& arguments) {
    ServiceCommand command;
    std::optional<std::string> action_option;
    bool named = false;
    const auto set_action = [&](const std::string& option, ServiceCommand::Action action) {
        if (action_option && *action_option != option)
            throw UsageError{*action_option + " and " + option + " exclude each other"};
        action_option = option;
        command.action = action;
    };
    CommandLineCursor cursor(arguments);
    while (cursor.Next()) {
        const std::string argument = cursor.arg();
        const std::string option = cursor.TakeAsOption();
        if (option == "--install-service") {
            cursor.NoValue();
            set_action(option, ServiceCommand::Action::Install);
        } else if (option == "--uninstall-service") {
            cursor.NoValue();
            set_action(option, ServiceCommand::Action::Uninstall);
        } else if (option == "--run-as-service" || option == "--service-name") {
            if (option == "--run-as-service")
                set_action(option, ServiceCommand::Action::Run);
            command.name = cursor.Value();
            named = true;
            if (!IsServiceName(command.name))
                throw UsageError{"a service name is letters, digits, '-', '_' and '.', not '" +
                                 command.name + "'"};
        } else {
            command.read_arguments.push_back(argument);
        }
    }
    if (!action_option) {
        if (named)
            throw UsageError{"--service-name needs --install-service or --uninstall-service"};
        return std::nullopt;
    }
    if (command.action == ServiceCommand::Action::Uninstall && !command.read_arguments.empty())
        throw UsageError{"--uninstall-service takes no other option than --service-name"};
    return command;
}

std::vector<std::string> ServiceReadArguments(
    const std::vector<std::string>& given, const ServiceFolders& defaults,
    const std::function<std::string(const std::string&)>& full_path) {
    std::vector<std::string> options{"--wait"};
    std::vector<std::string> ports;
    bool settings = false, data = false, inbox = false;
    CommandLineCursor cursor(given);
    while (cursor.Next()) {
        if (cursor.arg().empty() || cursor.arg()[0] != '-') {
            ports.push_back(cursor.arg());
            continue;
        }
        const std::string option = cursor.TakeAsOption();
        if (option == "--wait") {
            cursor.NoValue();
        } else if (option == "--settings" || option == "--data" || option == "-o" ||
                   option == "--inbox") {
            const std::string folder = cursor.Value();
            if (folder.empty())
                throw UsageError{"option " + option + " needs a value"};
            settings |= option == "--settings";
            data |= option == "--data";
            inbox |= option == "-o" || option == "--inbox";
            options.push_back(option == "-o" ? "--inbox" : option);
            options.push_back(full_path(folder));
        } else if (option == "--assign-id") {
            const std::string id = cursor.Value();
            if (id.size() != 4 || !IsDigits(id))
                throw UsageError{"--assign-id needs four digits, not '" + id + "'"};
            options.push_back(option);
            options.push_back(id);
        } else if (option == "--new" || option == "--all" || option == "--count" ||
                   option == "--list" || option == "-h" || option == "--help" ||
                   option == "--version") {
            throw UsageError{"a service reads with --wait until it is stopped: " + option +
                             " is not for a service"};
        } else {
            throw UsageError{"unknown option " + option};
        }
    }
    if (ports.size() != 1)
        throw UsageError{ports.empty() ? "no port given" : "more than one port given"};
    // A settings file names the InBox, and the data folder is beside it, as for any run.
    if (!data && !settings) {
        options.push_back("--data");
        options.push_back(defaults.data);
    }
    if (!inbox && !settings) {
        options.push_back("--inbox");
        options.push_back(defaults.inbox);
    }
    options.push_back(ports[0]);
    return options;
}

std::string ServiceWorkingFolder(const std::vector<std::string>& read_arguments) {
    if (const auto settings = ValueOf(read_arguments, "--settings")) {
        const std::size_t separator = settings->find_last_of("/\\");
        return separator == std::string::npos ? std::string() : settings->substr(0, separator + 1);
    }
    return ValueOf(read_arguments, "--data").value_or("");
}

std::string QuoteCommandLineArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
        return std::string(argument);
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled and the quote escaped; others stand.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

}  // namespace korvalen
