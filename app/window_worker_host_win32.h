// The main window as its workers see it: what the reading thread, the job owner and the
// passes ask of it.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "worker/worker_host.h"

namespace korvalen {

class CKorvalenDlg;

// The window's thread handles it by calling ApplyRequests.
inline constexpr UINT kWorkerRequestsMessage = WM_APP + 2;

// The main window as the host of its workers. Every call comes from a worker's own
// thread. What only changes the window (the progress bar, button 1000's caption, the
// status text, the UI state, a lost port, the reader's answer) is queued and posted, and the window
// carries it out on its own thread in the order asked: a busy window never holds up the port or a
// pass. Message boxes and the ID prompt are modal on the worker's thread with the main window as
// their owner; log lines are sent to the list.
class WindowWorkerHost final : public WorkerHost {
  public:
    explicit WindowWorkerHost(CKorvalenDlg& window) : window_(window) {}

    void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
    bool AskYesNo(std::string_view question) override;
    std::string PromptObjectId() override;

    int ProgressRangeUpper() override { return range_upper_.load(); }
    void SetProgressRange(std::uint16_t upper) override;
    void SetProgressPosition(int position) override;

    void InsertLogLineAtTop(std::string_view line) override;
    int LogLineCount() override;

    void SetActionButtonCaption(std::string_view caption) override;
    void SetStatusText(std::string_view text) override;
    void SetUiState(UiState state) override;
    void PortLost() override;
    void ReaderAnswered(std::string_view port) override;

    // On the window's thread: carries out the queued requests.
    void ApplyRequests();

  private:
    struct Request {
        enum class Kind { Range, Position, Caption, Status, State, PortLost, ReaderAnswered } kind;
        int value = 0;
        std::string text;
    };
    void Queue(Request request);
    HWND owner() const;
    LRESULT SendToControl(int id, UINT message, WPARAM wparam, LPARAM lparam) const;
    void WidenLogScrollRange(const std::wstring& text);

    CKorvalenDlg& window_;
    std::mutex mutex_;
    std::vector<Request> requests_;  // guarded by mutex_
    // The range asked for last: what the bar shows once the window has caught up (a
    // progress bar starts at 0 .. 100).
    std::atomic<int> range_upper_{100};
};

}  // namespace korvalen
