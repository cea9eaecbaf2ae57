// The help window, with the user guide that the program carries in its resources.
#pragma once

#include <windows.h>

namespace korvalen {

// The help window: the user guide of the program in a window of its own beside the
// main window, which goes with it. A second call brings the open one to the front.
class HelpWindow {
  public:
    HelpWindow() = default;
    ~HelpWindow();
    HelpWindow(const HelpWindow&) = delete;
    HelpWindow& operator=(const HelpWindow&) = delete;

    void Show(HWND owner);

  private:
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    HWND window_ = nullptr;
};

}  // namespace korvalen
