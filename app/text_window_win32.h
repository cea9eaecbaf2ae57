// A read-only text in a window of its own beside the main window.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace korvalen {

// A window that shows a text under a title, read-only, beside the main window: the help
// is one, a journal can be another. One window per object (so one per title); showing it
// again brings the open one to the front. It behaves as every dialog of the program:
// Tab moves between the text and "Закрыть", Esc and "Закрыть" close it, and it carries
// the program's icon.
class TextWindow {
  public:
    explicit TextWindow(std::string title) : title_(std::move(title)) {}
    ~TextWindow();
    TextWindow(const TextWindow&) = delete;
    TextWindow& operator=(const TextWindow&) = delete;

    // Shows `text` (UTF-8; lines end with LF or CR LF) in the window, which `owner` owns:
    // it is minimised and closed with it. An open window takes the text only when it
    // has changed, so that a reader keeps the place in it.
    void Show(HWND owner, std::string_view text);

  private:
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    std::string title_;
    std::string shown_;  // the text the window holds, with CR LF line ends
    HWND window_ = nullptr;
};

}  // namespace korvalen
