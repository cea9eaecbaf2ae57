// The user's settings, their defaults and where the program keeps its files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvalen {

// Every user choice of the program. The field names are the keys of the settings file.
// Texts are UTF-8 in memory and Windows-1251 in the file.
struct Settings {
    bool UseGlobalID = false;
    std::int32_t GlobalID = 9999;
    std::int32_t COM = 1;
    std::string InFile;
    std::string InboxDir;
    bool Use2D = false;
    bool MultiStart = true;
    bool MinTray = false;
    std::int32_t IndInNum = 0;     // 0 = IN1, 1 = IN2, 2 = IN3
    std::int32_t IndInStatus = 0;  // 0 = open, 1 = closed
    bool IndInChk = false;

    // Not stored in the file.
    bool ResetAlarm = true;
    bool WriteMessageFiles = true;
    bool WriteCsvC = false;
    bool WriteCsvN = false;
    // Routes on a map (korvalen-decode --gpx, --kml): one file per object in MapDir, or
    // beside the message files when it is empty.
    bool WriteGpx = false;
    bool WriteKml = false;
    std::string MapDir;

    bool operator==(const Settings&) const = default;
};

// Sets every field to its default; the default paths hang off the program folder.
void ApplyDefaults(Settings& settings, std::string_view program_folder);

std::string DefaultInFile(std::string_view program_folder);
std::string DefaultInboxDir(std::string_view program_folder);
std::string SettingsFilePath(std::string_view program_folder);

// The folder of the program's executable, from the process command line: the text
// between the opening quote and the last backslash of the program's path.
std::string ProgramFolderFromCommandLine(std::string_view command_line);

}  // namespace korvalen
