// Stands in for the main window as the host of the workers (the reading thread, the job
// owner and its passes): keeps what they showed, in order, with the thread that showed it,
// and answers the question and the prompt as told. Safe to read while they run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "worker/worker_host.h"

namespace korvalen::testing {

class RecordingWorkerHost : public WorkerHost {
  public:
    struct Message {
        std::string text;
        MessageIcon icon;
    };
    struct Event {
        std::thread::id thread;
        std::string text;
    };

    void ShowMessage(std::string_view text, std::string_view, MessageIcon icon) override {
        Record([&] { messages_.push_back({std::string(text), icon}); });
    }
    bool AskYesNo(std::string_view) override {
        Record([&] { events_.push_back({std::this_thread::get_id(), "question"}); });
        if (on_question)
            on_question();
        return answer_yes;
    }
    std::string PromptObjectId() override { return prompt_text; }
    void InsertLogLineAtTop(std::string_view line) override {
        Record([&] { log_.insert(log_.begin(), std::string(line)); });
    }
    int LogLineCount() override {
        std::lock_guard lock(mutex_);
        return static_cast<int>(log_.size());
    }
    int ProgressRangeUpper() override {
        std::lock_guard lock(mutex_);
        return range_upper_;
    }
    void SetProgressRange(std::uint16_t upper) override {
        Record([&] {
            range_upper_ = upper;
            Add("range " + std::to_string(upper));
        });
    }
    void SetProgressPosition(int position) override {
        Record([&] { Add("position " + std::to_string(position)); });
    }
    void SetActionButtonCaption(std::string_view caption) override {
        Record([&] { Add("caption " + std::string(caption)); });
    }
    void SetStatusText(std::string_view text) override {
        Record([&] { Add("status " + std::string(text)); });
    }
    void SetUiState(UiState state) override {
        Record([&] { Add("state " + std::to_string(static_cast<int>(state))); });
    }
    std::string FormatDateTime(const CalendarTime&) override { return "<now>"; }

    // Until the log list holds `count` summaries of passes ("В файле '…'" lines).
    bool WaitForSummaries(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return Summaries() >= count; });
    }
    bool WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
    }

    std::vector<Message> messages() const { return Copy(messages_); }
    std::vector<std::string> log() const { return Copy(log_); }  // top line first
    // What was shown from one thread, in order; from every thread when none is given.
    std::vector<std::string> events(std::thread::id thread = {}) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> texts;
        for (const Event& e : events_) {
            if (thread == std::thread::id() || e.thread == thread)
                texts.push_back(e.text);
        }
        return texts;
    }
    // The dumps whose passes have put their summary into the log list, oldest first.
    std::vector<std::string> decoded() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> dumps;
        const std::string head = "В файле '";
        for (auto line = log_.rbegin(); line != log_.rend(); ++line) {
            if (line->rfind(head, 0) == 0) {
                const std::size_t end = line->rfind('\'');
                dumps.push_back(line->substr(head.size(), end - head.size()));
            }
        }
        return dumps;
    }

    bool answer_yes = false;
    std::string prompt_text = "0000";
    std::function<void()> on_question;  // runs on the pass's thread, before the answer

  private:
    void Add(std::string text) { events_.push_back({std::this_thread::get_id(), std::move(text)}); }
    std::size_t Summaries() const {
        std::size_t count = 0;
        for (const std::string& line : log_)
            count += line.rfind("В файле '", 0) == 0 ? 1 : 0;
        return count;
    }
    template <typename F>
    void Record(const F& change) {
        {
            std::lock_guard lock(mutex_);
            change();
        }
        changed_.notify_all();
    }
    template <typename T>
    T Copy(const T& value) const {
        std::lock_guard lock(mutex_);
        return value;
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int range_upper_ = 0;
    std::vector<Message> messages_;
    std::vector<Event> events_;
    std::vector<std::string> log_;
};

}  // namespace korvalen::testing
