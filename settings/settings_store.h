// Where the settings live: the settings file, the one-time import from the registry, and the
// folders the program needs.
#pragma once

#include <string>
#include <string_view>

#include "platform/message_sink.h"
#include "platform/registry.h"
#include "settings/settings.h"

namespace korvalen {

// The key of old installations, read once at start-up and then deleted.
inline constexpr std::string_view kLegacyRegistryKey = "Software\\Ombrath\\Korvalen\\";

// Applies the defaults, then reads the settings file of the program folder. False when
// the file cannot be opened: the record then holds the defaults.
bool LoadSettings(Settings& settings, std::string_view program_folder);

// Writes the whole settings file. The new file is written beside the old one and takes
// its place only once it is complete, so a failure never leaves a half-written file.
// Failures are reported to `messages`; the record is left as it is.
void SaveSettings(const Settings& settings, std::string_view program_folder, MessageSink& messages);

// Takes over the settings of the old registry key and deletes it. False when the key
// cannot be opened (nothing changed).
bool ImportRegistrySettings(Settings& settings, std::string_view program_folder,
                            Registry& registry);

// The start-up sequence: defaults; the registry import, saved at once when it happened;
// otherwise the settings file, created with the defaults when it cannot be read.
void LoadStartupSettings(Settings& settings, std::string_view program_folder, MessageSink& messages,
                         Registry& registry);

// Creates the folders along a path: at every backslash but the first, the folder named
// by the text before it. The last component of a file path is never created. Failures
// (the folder exists, a drive cannot be made) are ignored.
void CreatePathFolders(std::string_view path);

// Creates program folder + "\Data\" and program folder + "\InBox\" (failures ignored).
void CreateProgramFolders(std::string_view program_folder);

}  // namespace korvalen
