// Loading and saving the settings file, replaced only when complete, and the registry import.
#include "settings/settings_store.h"

#include <cstdio>
#include <string>

#include "platform/file.h"
#include "settings/settings_file.h"

namespace korvalen {
namespace {

constexpr std::string_view kWriteErrorText =
    "Ошибка записи на жесткий диск, возможно недостаточно свободного места.";
constexpr std::string_view kWriteErrorCaption = "Диспетчер \"Halcyra\"";

std::string CannotOpenForWriting(int code, std::string_view path) {
    return "Не удалось открыть файл на запись. Код ошибки: " + std::to_string(code) + ".\n" +
           std::string(path);
}

}  // namespace

bool LoadSettings(Settings& settings, std::string_view program_folder) {
    ApplyDefaults(settings, program_folder);
    std::string bytes;
    if (!ReadWholeFile(SettingsFilePath(program_folder), bytes))
        return false;
    ParseSettingsFile(bytes, settings);
    return true;
}

void SaveSettings(const Settings& settings, std::string_view program_folder,
                  MessageSink& messages) {
    const std::string path = SettingsFilePath(program_folder);
    const std::string temporary = path + ".new";
    File file;
    if (!file.Open(temporary, OpenMode::CreateOrTruncate, Sharing::Exclusive)) {
        messages.ShowMessage(CannotOpenForWriting(file.error_code(), path), kProgramCaption,
                             MessageIcon::Stop);
        return;
    }
    try {
        file.Write(FormatSettingsFile(settings));
        file.Close();
    } catch (const FileError&) {
        file = File{};
        RemoveFile(temporary);
        messages.ShowMessage(kWriteErrorText, kWriteErrorCaption, MessageIcon::Stop);
        return;
    }
    if (const int code = ReplaceFileWith(temporary, path); code != 0) {
        RemoveFile(temporary);
        messages.ShowMessage(CannotOpenForWriting(code, path), kProgramCaption, MessageIcon::Stop);
    }
}

bool ImportRegistrySettings(Settings& settings, std::string_view program_folder,
                            Registry& registry) {
    const auto key = registry.OpenLocalMachineKey(kLegacyRegistryKey);
    if (!key)
        return false;
    // The old program read each value into a 128-byte buffer with its terminator.
    constexpr std::size_t kMaxChars = 127;
    const auto take = [&](std::string_view name, std::string_view when_empty) {
        std::string value = key->ReadString(name, kMaxChars).value_or("");
        if (value.empty())
            value = when_empty;
        key->DeleteValue(name);
        return value;
    };
    const auto flag = [](const std::string& value) { return value.front() == '1'; };

    settings.InboxDir = take("InboxDir", DefaultInboxDir(program_folder));
    settings.InFile = take("InFile", DefaultInFile(program_folder));
    settings.GlobalID = ParseAtoi(take("GloabalID", "9999"));
    settings.COM = ParseAtoi(take("COM", "1"));
    key->DeleteValue("ResetAlarm");
    settings.ResetAlarm = true;
    settings.Use2D = flag(take("Use2D", "0"));
    key->DeleteValue("Use3D");
    settings.UseGlobalID = flag(take("UseGloabalID", "0"));

    registry.DeleteLocalMachineKey(kLegacyRegistryKey);
    return true;
}

void LoadStartupSettings(Settings& settings, std::string_view program_folder, MessageSink& messages,
                         Registry& registry) {
    ApplyDefaults(settings, program_folder);
    // Imported settings are saved at once and the file is not read; a file that cannot be
    // read is created with the defaults.
    if (ImportRegistrySettings(settings, program_folder, registry) ||
        !LoadSettings(settings, program_folder)) {
        SaveSettings(settings, program_folder, messages);
    }
}

void CreatePathFolders(std::string_view path) {
    bool first = true;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '\\' && path[i] != '/')
            continue;
        if (!first && i > 0)
            CreateFolder(std::string(path.substr(0, i)));
        first = false;
    }
}

void CreateProgramFolders(std::string_view program_folder) {
    CreateFolder(std::string(program_folder) + "\\Data\\");
    CreateFolder(std::string(program_folder) + "\\InBox\\");
}

}  // namespace korvalen
