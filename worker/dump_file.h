// Where a capture writes its dump: never over a dump that a pass still reads or that is
// not yet delivered.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/file.h"

namespace korvalen {

// Opens the dump file of a new capture: the `InFile` path, or, when that cannot be
// opened (a pass still reads the last dump) or `held` says it holds a dump not yet
// delivered, the first of "<base>1.trc" to "<base>100.trc" that can, where the base is
// the path cut before its first ".trc". Each try creates or truncates the file and holds
// it exclusively, so a dump being read is never overwritten; file.path() tells which one
// opened. Nothing when none opened, with the system's code of the last try in
// `error_code`.
std::optional<File> OpenDumpFile(const std::string& in_file, int& error_code,
                                 const std::function<bool(const std::string&)>& held = {});

}  // namespace korvalen
