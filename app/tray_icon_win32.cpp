// The notification-area icon on the shell's API, put back when Explorer restarts.
#include "app/tray_icon_win32.h"

#include <shellapi.h>

#include "res/resource.h"

namespace korvalen {
namespace {

NOTIFYICONDATAW IconData(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = window;
    data.uID = 0;
    return data;
}

}  // namespace

void TrayIcon::Add(HWND window) {
    NOTIFYICONDATAW data = IconData(window);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayNotifyMessage;
    data.hIcon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    lstrcpynW(data.szTip, L"Korvalen", ARRAYSIZE(data.szTip));
    // The window keeps its tray state even when no notification area answers (a desktop
    // without one), so that "Показать" and the double click still bring it back.
    Shell_NotifyIconW(NIM_ADD, &data);
    window_ = window;
}

void TrayIcon::Remove() {
    if (!window_)
        return;
    NOTIFYICONDATAW data = IconData(window_);
    Shell_NotifyIconW(NIM_DELETE, &data);
    window_ = nullptr;
}

void TrayIcon::Restore() {
    if (HWND window = window_) {
        window_ = nullptr;
        Add(window);
    }
}

}  // namespace korvalen
