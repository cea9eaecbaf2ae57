// The program's global hot keys, of which Ctrl+Alt+F1 opens the device test.
#pragma once

#include <windows.h>

namespace korvalen {

// Ctrl+Alt+F1 (the device test) and Ctrl+Alt+F2 (no action), registered for one window
// under the global atoms "ctrAltF1" and "ctrAltF2". The keys are held only while the
// program is the active application, so other programs may use them meanwhile.
class HotKeys {
  public:
    HotKeys();
    ~HotKeys();
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    void Register(HWND window);
    void Unregister();
    ATOM test_dialog_key() const { return f1_; }

  private:
    ATOM f1_;
    ATOM f2_;
    HWND window_ = nullptr;
};

}  // namespace korvalen
