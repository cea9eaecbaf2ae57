// The road on the console: summaries per pass, messages, the read log's lines, the
// progress line.
#include "tools/read/console_road.h"

#include <cmath>
#include <iostream>

#include "platform/file_messages.h"
#include "platform/string_printf.h"
#include "serial/reader_protocol.h"

namespace korvalen {
namespace {

// The messages of the road that the window shows in boxes, as their texts.
class CollectedMessages final : public MessageSink {
  public:
    void ShowMessage(std::string_view message, std::string_view, MessageIcon) override {
        text += message;
    }
    std::string text;
};

}  // namespace

ConsoleRoad::ConsoleRoad(RunRecord& record, std::optional<std::string> assigned_id,
                         std::string port, ReadLogFollower* journal)
    : record_(record),
      assigned_id_(std::move(assigned_id)),
      port_(std::move(port)),
      journal_(journal) {}

void ConsoleRoad::ShowMessage(std::string_view text, std::string_view, MessageIcon) {
    std::lock_guard lock(mutex_);
    PrintMessage(text);
}

// A station never waits for an answer: the question is printed with the answer the
// command line gave.
bool ConsoleRoad::AskYesNo(std::string_view question) {
    std::lock_guard lock(mutex_);
    progress_.Erase();
    std::cerr << question << ' ' << (assigned_id_ ? "Да" : "Нет") << '\n';
    return assigned_id_.has_value();
}

std::string ConsoleRoad::PromptObjectId() {
    return assigned_id_.value_or("0000");
}

void ConsoleRoad::CaptureRefused(const CaptureRefusal& refusal) {
    CollectedMessages message;
    ShowOpenFailure(message, refusal.code, refusal.path, MessageIcon::None);
    {
        std::lock_guard lock(mutex_);
        PrintMessage(message.text);
    }
    record_.DumpUnopened();
}

// Kilobytes of the transfer, its rate and the time it still takes. The first count of a
// transfer comes before its size is known and only starts the clock of the rate.
void ConsoleRoad::CaptureReceived(std::int64_t received, std::int64_t announced) {
    std::lock_guard lock(mutex_);
    if (!progress_.terminal())
        return;
    const auto now = std::chrono::steady_clock::now();
    const std::int64_t kb = received / 1000;
    if (!transfer_start_) {
        transfer_start_ = now;
        start_kb_ = kb;
        return;
    }
    if (kb <= start_kb_)
        return;
    const int position = static_cast<int>(kb);
    const int range = static_cast<int>(announced / 1000);
    const double seconds = std::chrono::duration<double>(now - *transfer_start_).count();
    const double rate = static_cast<double>(kb - start_kb_) / seconds;
    std::string line = StringPrintf("%s: %d of %d kB", port_.c_str(), position, range);
    if (range > 0 && position <= range)
        line += StringPrintf(" (%d %%)", position * 100 / range);
    line += StringPrintf(", %.1f kB/s", rate);
    if (range > position) {
        const int left = static_cast<int>(std::lround((range - position) / rate));
        line += StringPrintf(", %d:%02d left", left / 60, left % 60);
    }
    progress_.Draw(line);
}

void ConsoleRoad::CaptureEnded(const CaptureReport& report) {
    {
        std::lock_guard lock(mutex_);
        progress_.Erase();
        transfer_start_.reset();
    }
    record_.CaptureEnded(report);
    CollectedMessages message;
    if (!report.dump_written)
        ShowWriteFailure(message, CodePeriod::With, report.dump_error, report.dump);
    if (report.read_failed) {
        if (!message.text.empty())
            message.text += '\n';
        message.text += kReadFailureMessage;
    }
    if (!message.text.empty()) {
        std::lock_guard lock(mutex_);
        PrintMessage(message.text);
    }
}

// The read log has the pass's line by now: it comes before the summary.
void ConsoleRoad::PassEnded(const PassEnd& pass) {
    {
        std::lock_guard lock(mutex_);
        PrintJournalLinesLocked();
        progress_.Erase();
        for (const std::string& line : pass.notes)
            std::cout << line << '\n';
        if (pass.opened) {
            for (const std::string& line : FormatPassSummary(pass.outcome))
                std::cout << line << '\n';
        }
        std::cout.flush();
    }
    record_.JobEnded(pass);
}

void ConsoleRoad::RoadLine(std::string_view line) {
    std::lock_guard lock(mutex_);
    PrintJournalLinesLocked();
    progress_.Erase();
    std::cout << line << '\n';
    std::cout.flush();
}

void ConsoleRoad::PrintJournalLines() {
    std::lock_guard lock(mutex_);
    PrintJournalLinesLocked();
}

void ConsoleRoad::PrintMessage(std::string_view text) {
    progress_.Erase();
    std::cerr << text << '\n';
}

void ConsoleRoad::PrintJournalLinesLocked() {
    if (!journal_)
        return;
    const std::vector<std::string> lines = journal_->NewLines();
    if (lines.empty())
        return;
    progress_.Erase();
    for (const std::string& line : lines)
        std::cout << line << '\n';
    std::cout.flush();
}

}  // namespace korvalen
