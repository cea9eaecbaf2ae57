// The program's icon in the notification area, through which a hidden window comes back.
#pragma once

#include <windows.h>

namespace korvalen {

// The tray notification of the icon: the mouse message comes in the second parameter.
inline constexpr UINT kTrayNotifyMessage = WM_USER + 2;

// The program's one icon in the notification area (identifier 0), removed when the
// object goes.
class TrayIcon {
  public:
    TrayIcon() = default;
    ~TrayIcon() { Remove(); }
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    void Add(HWND window);
    void Remove();
    // Explorer forgets every icon when it restarts and then broadcasts "TaskbarCreated".
    void Restore();
    bool shown() const { return window_ != nullptr; }

  private:
    HWND window_ = nullptr;
};

}  // namespace korvalen
