// The event log's entries and the source's registration.
#include "tools/read/event_log_win32.h"

#include <type_traits>

#include "platform/wide_string_win32.h"

namespace korvalen {
namespace {

// The one message of the message table (event_messages_win32.mc): "%1".
constexpr DWORD kEventText = 1;

struct CloseKey {
    void operator()(HKEY key) const { RegCloseKey(key); }
};

std::wstring SourceKey(const std::wstring& source) {
    return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + source;
}

}  // namespace

EventLog::EventLog(const std::wstring& source)
    : handle_(RegisterEventSourceW(nullptr, source.c_str())) {}

void EventLog::Report(Kind kind, std::string_view text) {
    if (!handle_)
        return;
    const WORD type = kind == Kind::Error     ? EVENTLOG_ERROR_TYPE
                      : kind == Kind::Warning ? EVENTLOG_WARNING_TYPE
                                              : EVENTLOG_INFORMATION_TYPE;
    const std::wstring wide = Widen(text);
    LPCWSTR strings[] = {wide.c_str()};
    ReportEventW(handle_.get(), type, 0, kEventText, nullptr, 1, 0, strings, nullptr);
}

bool RegisterEventMessages(const std::wstring& source, const std::wstring& program) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SourceKey(source).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const std::unique_ptr<std::remove_pointer_t<HKEY>, CloseKey> owned(key);
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    const bool written =
        RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                       reinterpret_cast<const BYTE*>(program.c_str()),
                       static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t))) ==
            ERROR_SUCCESS &&
        RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                       sizeof(types)) == ERROR_SUCCESS;
    return written;
}

void UnregisterEventMessages(const std::wstring& source) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, SourceKey(source).c_str());
}

}  // namespace korvalen
