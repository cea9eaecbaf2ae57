// The console in the window's place for korvalen-read: the summaries of the passes, the
// read log's lines, the messages, and a progress line per transfer.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "decode/operator.h"
#include "tools/console_front.h"
#include "tools/read/read_log_follower.h"
#include "tools/read/run_record.h"
#include "worker/road_events.h"

namespace korvalen {

// What the road tells, on standard output and standard error, and what it hears of it
// kept in the run's record.
//
// Each pass's summary is printed, top line first, with the road's lines about it, as
// the pass ends; the road's other lines as they come. Messages go to standard error. On
// a terminal (standard error) each transfer draws a progress line there; it is erased
// before anything else is printed. With `journal` the read log's new lines go to
// standard output too, before each summary and whenever PrintJournalLines is called.
// Every call may come from any thread.
class ConsoleRoad final : public RoadEvents, public Operator {
  public:
    // `assigned_id` answers the question about records without ID (Yes with it, No
    // without); `port` names the transfers' progress line; `journal` may be null.
    ConsoleRoad(RunRecord& record, std::optional<std::string> assigned_id, std::string port,
                ReadLogFollower* journal);

    void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
    bool AskYesNo(std::string_view question) override;
    std::string PromptObjectId() override;

    void CaptureRefused(const CaptureRefusal& refusal) override;
    void CaptureReceived(std::int64_t received, std::int64_t announced) override;
    void CaptureEnded(const CaptureReport& report) override;
    void PassEnded(const PassEnd& pass) override;
    void RoadLine(std::string_view line) override;
    void PortLost() override { record_.PortLost(); }

    // The read log's lines written since the last print.
    void PrintJournalLines();

  private:
    void PrintMessage(std::string_view text);  // needs mutex_
    void PrintJournalLinesLocked();            // needs mutex_

    RunRecord& record_;
    const std::optional<std::string> assigned_id_;
    const std::string port_;
    ReadLogFollower* const journal_;

    std::mutex mutex_;  // guards what follows, and standard output and error
    ProgressLine progress_;
    // The transfer whose progress is drawn: its first count and when it came.
    std::optional<std::chrono::steady_clock::time_point> transfer_start_;
    std::int64_t start_kb_ = 0;
};

}  // namespace korvalen
