// Message boxes for the window and its workers, under the program's caption.
#pragma once

#include <windows.h>

#include "platform/message_sink.h"

namespace korvalen {

// Modal message boxes owned by a window (or by none while there is no window yet).
class WindowMessageSink final : public MessageSink {
  public:
    void set_owner(HWND owner) { owner_ = owner; }
    void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;

  private:
    HWND owner_ = nullptr;
};

// A message box with the program's caption; returns the button pressed.
int ShowMessageBox(HWND owner, std::string_view text, UINT type);

}  // namespace korvalen
