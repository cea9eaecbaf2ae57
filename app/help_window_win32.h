// The help window, with the user guide that the program carries in its resources.
#pragma once

#include <windows.h>

#include "app/text_window_win32.h"

namespace korvalen {

// The user guide of the program in a text window beside the main window, which goes
// with it. A second call brings the open one to the front.
class HelpWindow {
  public:
    void Show(HWND owner);

  private:
    TextWindow window_{"Справка Korvalen"};
};

}  // namespace korvalen
