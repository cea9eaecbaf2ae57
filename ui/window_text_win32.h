// Window and control texts read and written as UTF-8.
#pragma once

#include <windows.h>

#include <string>

#include "platform/wide_string_win32.h"

namespace korvalen {

// A window's or control's text, UTF-8.
inline std::string WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

inline void SetWindowUtf8Text(HWND window, const std::string& utf8) {
    SetWindowTextW(window, Widen(utf8).c_str());
}

}  // namespace korvalen
