// The console host: summaries per pass, messages, the read log's lines, the progress line.
#include "tools/read/console_host.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "platform/console.h"
#include "platform/string_printf.h"

namespace korvalen {

thread_local bool ConsoleHost::in_pass_ = false;

ConsoleHost::ConsoleHost(std::optional<std::string> assigned_id, std::string port,
                         ReadLogFollower* journal)
    : assigned_id_(std::move(assigned_id)),
      port_(std::move(port)),
      journal_(journal),
      terminal_(StandardErrorIsTerminal()) {}

void ConsoleHost::ShowMessage(std::string_view text, std::string_view, MessageIcon icon) {
    {
        std::lock_guard lock(mutex_);
        EraseProgress();
        std::cerr << text << '\n';
    }
    if (icon == MessageIcon::None && dump_unopened_)
        dump_unopened_();
}

// A station never waits for an answer: the question is printed with the answer the
// command line gave.
bool ConsoleHost::AskYesNo(std::string_view question) {
    std::lock_guard lock(mutex_);
    EraseProgress();
    std::cerr << question << ' ' << (assigned_id_ ? "Да" : "Нет") << '\n';
    return assigned_id_.has_value();
}

std::string ConsoleHost::PromptObjectId() {
    return assigned_id_.value_or("0000");
}

void ConsoleHost::InsertLogLineAtTop(std::string_view line) {
    std::lock_guard lock(mutex_);
    auto& lines = lines_[std::this_thread::get_id()];
    lines.insert(lines.begin(), std::string(line));
}

int ConsoleHost::LogLineCount() {
    std::lock_guard lock(mutex_);
    const auto found = lines_.find(std::this_thread::get_id());
    return found == lines_.end() ? 0 : static_cast<int>(found->second.size());
}

int ConsoleHost::ProgressRangeUpper() {
    return range_.load();
}

void ConsoleHost::SetProgressRange(std::uint16_t upper) {
    range_ = upper;
}

// The bar counts thousands of bytes. The line shows the reading thread's steps only: a
// pass that owns the bar meanwhile shows nothing. The first step of a transfer comes
// before its size is known and only starts the clock of the rate.
void ConsoleHost::SetProgressPosition(int position) {
    if (!terminal_ || in_pass_ || !work_ || !work_->capture_active)
        return;
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (!transfer_start_) {
        transfer_start_ = now;
        start_position_ = position;
        return;
    }
    if (position <= start_position_)
        return;
    const int range = range_.load();
    const double seconds = std::chrono::duration<double>(now - *transfer_start_).count();
    const double rate = (position - start_position_) / seconds;
    std::string line = StringPrintf("%s: %d of %d kB", port_.c_str(), position, range);
    if (range > 0 && position <= range)
        line += StringPrintf(" (%d %%)", position * 100 / range);
    line += StringPrintf(", %.1f kB/s", rate);
    if (range > position) {
        const int left = static_cast<int>(std::lround((range - position) / rate));
        line += StringPrintf(", %d:%02d left", left / 60, left % 60);
    }
    // Blanks over what is left of a longer line before: a Windows console may not know
    // the escape that erases to the end of the line.
    const std::size_t length = line.size();
    line.resize(std::max(length, drawn_), ' ');
    std::fputc('\r', stderr);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = length;
}

void ConsoleHost::SetStatusText(std::string_view text) {
    if (text == kDecodingStatus)
        in_pass_ = true;
}

// A pass that ends asks for the ready state: its summary is complete. The read log has
// its transfer's line by then.
void ConsoleHost::SetUiState(UiState state) {
    if (state != UiState::Ready || !in_pass_)
        return;
    in_pass_ = false;
    std::lock_guard lock(mutex_);
    PrintJournalLinesLocked();
    PrintLinesOf(std::this_thread::get_id());
}

void ConsoleHost::TransferEnded() {
    std::lock_guard lock(mutex_);
    EraseProgress();
    transfer_start_.reset();
}

void ConsoleHost::PrintJournalLines() {
    std::lock_guard lock(mutex_);
    PrintJournalLinesLocked();
}

void ConsoleHost::PrintAllLines() {
    std::lock_guard lock(mutex_);
    PrintJournalLinesLocked();
    while (!lines_.empty())
        PrintLinesOf(lines_.begin()->first);
}

void ConsoleHost::PrintLinesOf(std::thread::id thread) {
    const auto found = lines_.find(thread);
    if (found == lines_.end())
        return;
    EraseProgress();
    for (const std::string& line : found->second)
        std::cout << line << '\n';
    std::cout.flush();
    lines_.erase(found);
}

void ConsoleHost::PrintJournalLinesLocked() {
    if (!journal_)
        return;
    const std::vector<std::string> lines = journal_->NewLines();
    if (lines.empty())
        return;
    EraseProgress();
    for (const std::string& line : lines)
        std::cout << line << '\n';
    std::cout.flush();
}

void ConsoleHost::EraseProgress() {
    if (drawn_ > 0) {
        std::string blanks(drawn_ + 2, ' ');
        blanks.front() = '\r';
        blanks.back() = '\r';
        std::fputs(blanks.c_str(), stderr);
        drawn_ = 0;
    }
}

}  // namespace korvalen
