// Win32 side of the registry: keys under HKEY_LOCAL_MACHINE read and deleted.
#include <windows.h>

#include <vector>

#include "platform/registry.h"
#include "platform/wide_string_win32.h"

namespace korvalen {
namespace {

// Old installations name their key with a trailing backslash; the API wants none.
std::wstring KeyPath(std::string_view path) {
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return Widen(path);
}

class Win32RegistryKey final : public RegistryKey {
  public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}
    ~Win32RegistryKey() override { RegCloseKey(key_); }
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

    std::optional<std::string> ReadString(std::string_view name, std::size_t max_chars) override {
        std::vector<wchar_t> buffer(max_chars + 1, L'\0');
        DWORD type = 0;
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LSTATUS status = RegQueryValueExW(key_, Widen(name).c_str(), nullptr, &type,
                                                reinterpret_cast<BYTE*>(buffer.data()), &bytes);
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        std::size_t length = bytes / sizeof(wchar_t);
        // The stored data may or may not include its terminating zero.
        while (length > 0 && buffer[length - 1] == L'\0')
            --length;
        if (length > max_chars)
            return std::nullopt;
        return Narrow(std::wstring_view(buffer.data(), length));
    }

    void DeleteValue(std::string_view name) override { RegDeleteValueW(key_, Widen(name).c_str()); }

  private:
    HKEY key_;
};

class Win32Registry final : public Registry {
  public:
    std::unique_ptr<RegistryKey> OpenLocalMachineKey(std::string_view path) override {
        HKEY key = nullptr;
        const REGSAM access = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath(path).c_str(), 0, access, &key) !=
            ERROR_SUCCESS) {
            return nullptr;
        }
        return std::make_unique<Win32RegistryKey>(key);
    }

    void DeleteLocalMachineKey(std::string_view path) override {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, KeyPath(path).c_str());
    }
};

}  // namespace

Registry& SystemRegistry() {
    static Win32Registry registry;
    return registry;
}

}  // namespace korvalen
