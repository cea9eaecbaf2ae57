// The console in the window's place for korvalen-read: the summaries of the passes, the
// read log's lines, the messages, and a progress line per transfer.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/read/read_log_follower.h"
#include "worker/work_state.h"
#include "worker/worker_host.h"

namespace korvalen {

// What the workers show in the window, on standard output and standard error.
//
// Each pass writes its summary into the log list from its own thread; the lines are kept
// per thread and printed, top line first, when the pass asks for the ready state, which
// it does as it ends. Messages go to standard error. On a terminal (standard error) each
// transfer draws a progress line there while the reading thread owns the shared progress
// bar; it is erased before anything else is printed. With `journal` the read log's new
// lines go to standard output too, before each summary and whenever PrintJournalLines is
// called.
class ConsoleHost final : public WorkerHost {
  public:
    // `assigned_id` answers the question about records without ID (Yes with it, No
    // without); `port` names the transfers' progress line; `journal` may be null.
    ConsoleHost(std::optional<std::string> assigned_id, std::string port, ReadLogFollower* journal);

    // The job owner's work state (made with this host): a progress line is drawn only
    // while a capture runs.
    void set_work(const WorkState* work) { work_ = work; }
    // Called when a capture could not open its dump file (its message has no icon, the
    // only one without).
    void set_dump_unopened(std::function<void()> handler) { dump_unopened_ = std::move(handler); }
    void set_port_lost(std::function<void()> handler) { port_lost_ = std::move(handler); }

    void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
    bool AskYesNo(std::string_view question) override;
    std::string PromptObjectId() override;
    void InsertLogLineAtTop(std::string_view line) override;
    int LogLineCount() override;
    int ProgressRangeUpper() override;
    void SetProgressRange(std::uint16_t upper) override;
    void SetProgressPosition(int position) override;
    void SetActionButtonCaption(std::string_view) override {}
    void SetStatusText(std::string_view text) override;
    void SetUiState(UiState state) override;
    void PortLost() override {
        if (port_lost_)
            port_lost_();
    }

    // A transfer has ended: its progress line goes.
    void TransferEnded();
    // The read log's lines written since the last print.
    void PrintJournalLines();
    // Log-list lines that no pass has printed: those of the recovery, written outside a
    // pass, and any a pass left behind.
    void PrintAllLines();

  private:
    void PrintLinesOf(std::thread::id thread);  // needs mutex_
    void PrintJournalLinesLocked();             // needs mutex_
    void EraseProgress();                       // needs mutex_

    // Set on the threads that run passes; the window's status text says so at each
    // pass's start.
    static thread_local bool in_pass_;

    const std::optional<std::string> assigned_id_;
    const std::string port_;
    ReadLogFollower* const journal_;
    const bool terminal_;
    const WorkState* work_ = nullptr;
    std::function<void()> dump_unopened_;
    std::function<void()> port_lost_;
    std::atomic<int> range_{0};  // the shared bar's range, as the window's bar keeps it

    std::mutex mutex_;  // guards what follows, and standard output and error
    std::map<std::thread::id, std::vector<std::string>> lines_;
    // The transfer whose progress is drawn: its first position and when it was shown.
    std::optional<std::chrono::steady_clock::time_point> transfer_start_;
    int start_position_ = 0;
    std::size_t drawn_ = 0;  // the length of the progress line on the screen
};

}  // namespace korvalen
