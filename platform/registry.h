// The registry, reached only to take over the settings of old installations once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace korvalen {

// One key under HKEY_LOCAL_MACHINE, opened for reading, setting values and creating
// subkeys. Only the one-time import of old settings uses it. Names and values are UTF-8.
class RegistryKey {
  public:
    virtual ~RegistryKey() = default;
    // The value when it is a string of at most `max_chars` characters; empty otherwise
    // (missing, another type, too long).
    virtual std::optional<std::string> ReadString(std::string_view name, std::size_t max_chars) = 0;
    virtual void DeleteValue(std::string_view name) = 0;
};

class Registry {
  public:
    virtual ~Registry() = default;
    // Null when the key is absent or not accessible.
    virtual std::unique_ptr<RegistryKey> OpenLocalMachineKey(std::string_view path) = 0;
    virtual void DeleteLocalMachineKey(std::string_view path) = 0;
};

// The system's registry; on systems without one, a registry in which no key exists.
Registry& SystemRegistry();

}  // namespace korvalen
