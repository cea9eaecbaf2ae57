// The default settings and paths, all under the program's folder.
#include "settings/settings.h"

namespace korvalen {

std::string DefaultInFile(std::string_view program_folder) {
    return std::string(program_folder) + "\\Data\\Korvalen.trc";
}

std::string DefaultInboxDir(std::string_view program_folder) {
    return std::string(program_folder) + "\\InBox\\";
}

std::string SettingsFilePath(std::string_view program_folder) {
    return std::string(program_folder) + "\\Korvalen.ini";
}

void ApplyDefaults(Settings& settings, std::string_view program_folder) {
    settings = Settings{};
    settings.InFile = DefaultInFile(program_folder);
    settings.InboxDir = DefaultInboxDir(program_folder);
}

std::string ProgramFolderFromCommandLine(std::string_view command_line) {
    // Windows starts programs with the quoted path of the executable; a program started
    // from a console may be given it unquoted. Only the path counts: an argument (a
    // file dropped onto the program's icon) must not move the folder.
    std::string_view path;
    if (!command_line.empty() && command_line.front() == '"') {
        path = command_line.substr(1);
        path = path.substr(0, path.find('"'));
    } else {
        path = command_line.substr(0, command_line.find_first_of(" \t"));
    }
    const std::size_t last = path.rfind('\\');
    if (last == std::string_view::npos)
        return {};
    std::string folder(path.substr(0, last));
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

}  // namespace korvalen
