// The settings dialog's rules without a window: the values taken back and the paths it makes.
#include "settings/settings_dialog_rules.h"

#include <charconv>
#include <climits>
#include <cstdint>

namespace korvalen {

void TakeDialogSettings(Settings& settings, const Settings& edited) {
    settings.UseGlobalID = edited.UseGlobalID;
    settings.GlobalID = edited.GlobalID;
    settings.IndInNum = edited.IndInNum;
    settings.IndInStatus = edited.IndInStatus;
    settings.IndInChk = edited.IndInChk;
    settings.MultiStart = edited.MultiStart;
    settings.MinTray = edited.MinTray;
    settings.InboxDir = edited.InboxDir.empty() ? "" : WithTrailingBackslash(edited.InboxDir);
    settings.InFile = edited.InFile;
    settings.Use2D = edited.Use2D;
}

std::string WithTrailingBackslash(std::string folder) {
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    return folder;
}

std::string DumpFileInFolder(std::string_view folder) {
    return WithTrailingBackslash(std::string(folder)) + std::string(kDumpFileName);
}

std::string FolderOfFile(std::string_view path) {
    const std::size_t last = path.rfind('\\');
    if (last == std::string_view::npos)
        return "";
    const std::string_view folder = path.substr(0, last);
    if (folder.size() == 2 && folder[1] == ':')
        return std::string(path.substr(0, last + 1));
    return std::string(folder);
}

std::optional<int> ParseEditInteger(std::string_view text) {
    std::size_t at = text.find_first_not_of(" \t\r\n");
    if (at == std::string_view::npos)
        return std::nullopt;
    bool negative = false;
    if (text[at] == '+' || text[at] == '-') {
        negative = text[at] == '-';
        ++at;
    }
    std::int64_t value = 0;
    const char* begin = text.data() + at;
    const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (end == begin || error != std::errc() || value > std::int64_t{INT_MAX} + (negative ? 1 : 0))
        return std::nullopt;
    return static_cast<int>(negative ? -value : value);
}

}  // namespace korvalen
