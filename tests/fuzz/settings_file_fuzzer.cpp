// Fuzz target: the settings-file reader over any bytes. Whatever it read must survive a
// save and the next start unchanged, since the program writes the file back as it holds it.
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvalen;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Settings loaded;
    ApplyDefaults(loaded, "D:\\Tools");
    ParseSettingsFile(bytes, loaded);

    Settings reloaded;
    ApplyDefaults(reloaded, "C:\\Other");
    ParseSettingsFile(FormatSettingsFile(loaded), reloaded);
    FUZZ_CHECK(reloaded == loaded);

    ParseAtoi(bytes);
    return 0;
}
