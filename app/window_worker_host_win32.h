// The main window as its workers see it: what the reading thread and decoding passes ask.
#pragma once

#include <windows.h>

#include <string>

#include "decode/decoding_host.h"
#include "serial/reading_host.h"

namespace korvalen {

class CKorvalenDlg;

// The main window as the host of its workers: the reading thread and the decoding
// passes. Every call comes from a worker's own thread: messages to the window's controls
// are sent (the system runs them on the window's thread and waits), message boxes and
// the ID prompt are modal on the worker's thread with the main window as their owner.
// Holds no state of its own, so all workers share one.
class WindowWorkerHost final : public DecodingHost, public ReadingHost {
  public:
    explicit WindowWorkerHost(CKorvalenDlg& window) : window_(window) {}

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
    void SetUiState(UiState state) override;

    std::string DumpFilePath() override;
    void DecodeDump(const std::string& path) override;

  private:
    HWND owner() const;
    LRESULT SendToControl(int id, UINT message, WPARAM wparam, LPARAM lparam) const;
    void WidenLogScrollRange(const std::wstring& text);

    CKorvalenDlg& window_;
};

}  // namespace korvalen
