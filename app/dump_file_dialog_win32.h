#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace korvalen {

// The file-open dialog of "Декодировать файл": asks for an existing dump file (*.trc by
// default). Returns its full path (UTF-8), or nothing when the user cancelled.
std::optional<std::string> AskDumpFileToDecode(HWND owner);

}  // namespace korvalen
