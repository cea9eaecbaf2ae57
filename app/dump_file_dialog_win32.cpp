// Both dump file dialogs on the system's file dialog, with the *.trc filter and UTF-8 paths.
#include "app/dump_file_dialog_win32.h"

#include <commdlg.h>

#include <algorithm>
#include <string_view>

#include "platform/wide_string_win32.h"

namespace korvalen {
namespace {

// The filter in the form "name|patterns|...|": the system wants every "|" as a NUL, the
// last one ending the list.
constexpr std::wstring_view kDumpFilter = L"Файл маршрутов (*.trc)|*.trc|All Files (*.*)|*.*||";

// Long enough for any path the system gives back (the \\?\ limit).
constexpr std::size_t kPathCapacity = 32768;

enum class FileDialogKind { Open, Save };

std::optional<std::string> AskDumpPath(HWND owner, FileDialogKind kind, std::string_view start,
                                       std::string_view folder = {}) {
    std::wstring filter(kDumpFilter);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');

    std::wstring path = Widen(start);
    path.resize(kPathCapacity, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrDefExt = L"trc";
    const std::wstring initial_folder = Widen(folder);
    if (!initial_folder.empty())
        dialog.lpstrInitialDir = initial_folder.c_str();
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (kind == FileDialogKind::Open) {
        dialog.Flags |= OFN_FILEMUSTEXIST;
        if (!GetOpenFileNameW(&dialog))
            return std::nullopt;
    } else {
        dialog.Flags |= OFN_OVERWRITEPROMPT;
        if (!GetSaveFileNameW(&dialog))
            return std::nullopt;
    }
    path.resize(path.find(L'\0'));
    return Narrow(path);
}

}  // namespace

std::optional<std::string> AskDumpFileToDecode(HWND owner, const std::string& folder) {
    return AskDumpPath(owner, FileDialogKind::Open, "*.trc", folder);
}

std::optional<std::string> AskDumpCopyPath(HWND owner, const std::string& name) {
    return AskDumpPath(owner, FileDialogKind::Save, name);
}

}  // namespace korvalen
