// korvalen-read as a Windows service (service_win32.cpp): installed, removed and run
// under the service control manager. Elsewhere (service_posix.cpp) a station is a
// systemd unit, and these options are refused.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvalen {

// A run of korvalen-read: the arguments after the program's name in, its exit status out.
using ReadRun = int (*)(const std::vector<std::string>& arguments);

// Does what the command line's service options ask (--install-service,
// --uninstall-service, --run-as-service) and gives the exit status; empty when it has
// none, for an ordinary run. Under the service control manager `read` is the run.
std::optional<int> RunServiceCommand(const std::vector<std::string>& arguments, ReadRun read);

// Called by a run once it knows its data folder: under a service, which has no console,
// what the run prints goes from then on into that folder's read log (Korvalen.log), and
// true is returned; otherwise false and nothing changes.
bool PrintIntoReadLogUnderService(const std::string& data_folder);

}  // namespace korvalen
