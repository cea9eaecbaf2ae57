// POSIX side of the service options: a Linux station is the systemd unit
// korvalen-read@.service, so the Windows service's options are a usage error here.
#include <iostream>

#include "tools/command_line.h"
#include "tools/read/service.h"
#include "tools/read/service_command.h"

namespace korvalen {

std::optional<int> RunServiceCommand(const std::vector<std::string>& arguments, ReadRun) {
    try {
        if (!TakeServiceCommand(arguments))
            return std::nullopt;
        std::cerr << "korvalen-read: a service is for Windows; a station on this system is the "
                     "systemd unit korvalen-read@.service\n";
    } catch (const UsageError& e) {
        std::cerr << "korvalen-read: " << e.text << '\n';
    }
    std::cerr << "Try 'korvalen-read --help'.\n";
    return 2;
}

bool PrintIntoReadLogUnderService(const std::string&) {
    return false;
}

}  // namespace korvalen
