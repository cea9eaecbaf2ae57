// Win32 side of the error descriptions: FormatMessage, without the line end it adds.
#include <windows.h>

#include <memory>

#include "platform/system_error.h"
#include "platform/wide_string_win32.h"

namespace korvalen {

std::string SystemErrorText(int code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, &LocalFree);
    std::wstring words(text ? text : L"", length);
    while (!words.empty() &&
           (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' '))
        words.pop_back();
    return words.empty() ? "error " + std::to_string(code) : Narrow(words);
}

ErrorCodes SystemErrorCodes() {
    return ErrorCodes::Win32;
}

}  // namespace korvalen
