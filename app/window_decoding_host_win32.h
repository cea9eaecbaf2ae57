#pragma once

#include <windows.h>

#include <string>

#include "decode/decoding_host.h"

namespace korvalen {

class CKorvalenDlg;

// The main window as the host of its decoding passes. Every call comes from a pass's own
// thread: messages to the window's controls are sent (the system runs them on the
// window's thread and waits), message boxes and the ID prompt are modal on the pass's
// thread with the main window as their owner. Holds no state of its own, so any number
// of passes share one.
class WindowDecodingHost final : public DecodingHost {
  public:
    explicit WindowDecodingHost(CKorvalenDlg& window) : window_(window) {}

    void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
    bool AskYesNo(std::string_view question) override;
    std::string PromptObjectId() override;

    int ProgressRangeUpper() override;
    void SetProgressRange(std::uint16_t upper) override;
    void SetProgressPosition(int position) override;

    void InsertLogLineAtTop(std::string_view line) override;
    int LogLineCount() override;

    void SetActionButtonCaption(std::string_view caption) override;
    void SetStatusText(std::string_view text) override;
    void SetUiState(int state) override;

  private:
    HWND owner() const;
    LRESULT SendToControl(int id, UINT message, WPARAM wparam, LPARAM lparam) const;
    void WidenLogScrollRange(const std::wstring& text);

    CKorvalenDlg& window_;
};

}  // namespace korvalen
