// The main window as the road's listener and operator: what the reading thread, the job
// owner and the passes tell, and what they ask of the person at the screen.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "decode/operator.h"
#include "worker/road_events.h"

namespace korvalen {

class CKorvalenDlg;

// The window's thread handles it by calling ApplyRequests.
inline constexpr UINT kWorkerRequestsMessage = WM_APP + 2;

// The road's events shown in the main window. Every event comes from a worker's own
// thread. What changes the window (the progress bar, button 1000's caption, the status
// text, the UI state, the log list, a lost port, the reader's answer) is queued and
// posted, and the window carries it out on its own thread in the order told: a busy
// window never holds up the port or a pass. The operator's message boxes and the ID
// prompt, and the messages about a capture, are modal on the worker's thread with the
// main window as their owner.
class WindowRoad final : public RoadEvents, public Operator {
  public:
    explicit WindowRoad(CKorvalenDlg& window) : window_(window) {}

    void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
    bool AskYesNo(std::string_view question) override;
    std::string PromptObjectId() override;

    void CaptureStarted(std::string_view port) override;
    void CaptureRefused(const CaptureRefusal& refusal) override;
    void CaptureEnded(const CaptureReport& report) override;
    void PassStarted(const PassStart& pass) override;
    void PassEnded(const PassEnd& pass) override;
    void ProgressMoved(const ProgressStep& step) override;
    void RoadLine(std::string_view line) override;
    void PortLost() override;
    void ReaderAnswered(std::string_view port) override;

    // On the window's thread: a line of the window's own on top of the log list.
    void InsertLogLineAtTop(std::string_view line);
    // On the window's thread: carries out the queued requests.
    void ApplyRequests();

  private:
    struct Request {
        enum class Kind {
            Range,
            Position,
            Caption,
            Status,
            State,
            Lines,    // the log list's lines, top line first
            Summary,  // a pass's summary, top line first: "---" below it when needed
            PortLost,
            ReaderAnswered,
        } kind;
        int value = 0;
        std::string text;
        std::vector<std::string> lines;
    };
    void Queue(Request request);
    HWND owner() const;
    LRESULT SendToControl(int id, UINT message, WPARAM wparam, LPARAM lparam) const;
    void WidenLogScrollRange(const std::wstring& text);

    CKorvalenDlg& window_;
    std::mutex mutex_;
    std::vector<Request> requests_;  // guarded by mutex_
};

}  // namespace korvalen
