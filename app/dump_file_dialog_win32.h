// The system's file dialogs for picking a dump to decode and a place for its copy.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace korvalen {

// The file-open dialog of "Декодировать файл": asks for an existing dump file (*.trc by
// default), starting in `folder` (the system's choice when empty). Returns its full path
// (UTF-8), or nothing when the user cancelled.
std::optional<std::string> AskDumpFileToDecode(HWND owner, const std::string& folder);

// The file-save dialog of "Сохранить копию файла...": offers `name` (".trc" added when
// the user gives no extension) and asks before an existing file is replaced. Returns
// the chosen full path, or nothing when the user cancelled.
std::optional<std::string> AskDumpCopyPath(HWND owner, const std::string& name);

}  // namespace korvalen
