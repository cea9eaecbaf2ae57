// Stands in for the main window as the road's listener and operator: keeps what the
// workers told, in order, with the thread that told it, keeps the log list and the
// messages as the window shows them, and answers the question and the prompt as told.
// Safe to read while they run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decode/operator.h"
#include "platform/file_messages.h"
#include "serial/reader_protocol.h"
#include "worker/road_events.h"

namespace korvalen::testing {

class RecordingRoad : public RoadEvents, public Operator {
  public:
    struct Message {
        std::string text;
        MessageIcon icon;
    };
    struct Event {
        std::thread::id thread;
        std::string text;
    };

    // The operator.
    void ShowMessage(std::string_view text, std::string_view, MessageIcon icon) override {
        Record([&] { messages_.push_back({std::string(text), icon}); });
    }
    bool AskYesNo(std::string_view) override {
        Record([&] { Add("question"); });
        if (on_question)
            on_question();
        return answer_yes;
    }
    std::string PromptObjectId() override { return prompt_text; }

    // The events, with the messages the window shows for them.
    void CaptureStarted(std::string_view port) override {
        Record([&] { Add("capture started " + std::string(port)); });
    }
    void CaptureRefused(const CaptureRefusal& refusal) override {
        Record([&] { Add("capture refused"); });
        ShowOpenFailure(*this, refusal.code, refusal.path, MessageIcon::None);
    }
    void CaptureEnded(const CaptureReport& report) override {
        Record([&] {
            Add("capture ended");
            reports_.push_back(report);
        });
        if (!report.dump_written)
            ShowWriteFailure(*this, CodePeriod::With, report.dump_error, report.dump);
        if (report.read_failed)
            ShowMessage(kReadFailureMessage, kProgramCaption, MessageIcon::Stop);
    }
    void PassStarted(const PassStart&) override {
        Record([&] { Add("pass started"); });
    }
    void PassEnded(const PassEnd& pass) override {
        Record([&] {
            Add(pass.opened ? "pass ended" : "pass ended unopened");
            if (pass.opened) {
                std::vector<std::string> lines = FormatPassSummary(pass.outcome);
                lines.front() = "<now>";
                if (!log_.empty())
                    log_.insert(log_.begin(), "---");
                log_.insert(log_.begin(), lines.begin(), lines.end());
            }
            log_.insert(log_.begin(), pass.notes.begin(), pass.notes.end());
        });
    }
    void ProgressMoved(const ProgressStep& step) override {
        Record([&] {
            Add(step.range ? "range " + std::to_string(*step.range)
                           : "position " + std::to_string(step.position));
        });
    }
    void RoadLine(std::string_view line) override {
        Record([&] { log_.insert(log_.begin(), std::string(line)); });
    }
    void PortLost() override {
        Record([&] { Add("port lost"); });
    }
    void ReaderAnswered(std::string_view port) override {
        Record([&] { Add("reader answered " + std::string(port)); });
    }

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
    std::vector<CaptureReport> reports() const { return Copy(reports_); }
    // What was told from one thread, in order; from every thread when none is given.
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
    std::vector<Message> messages_;
    std::vector<Event> events_;
    std::vector<std::string> log_;
    std::vector<CaptureReport> reports_;
};

}  // namespace korvalen::testing
