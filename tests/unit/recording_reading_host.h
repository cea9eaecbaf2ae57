// Stands in for the main window as the reading thread's host: keeps what the thread
// showed and the dumps it asked to decode. Safe to read while the thread runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serial/reading_host.h"

namespace korvalen::testing {

class RecordingReadingHost : public ReadingHost {
  public:
    struct Message {
        std::string text;
        MessageIcon icon;
    };

    explicit RecordingReadingHost(std::string in_file) : in_file_(std::move(in_file)) {}

    void ShowMessage(std::string_view text, std::string_view, MessageIcon icon) override {
        Record([&] { messages_.push_back({std::string(text), icon}); });
    }
    int ProgressRangeUpper() override {
        std::lock_guard lock(mutex_);
        return range_upper_;
    }
    void SetProgressRange(std::uint16_t upper) override {
        Record([&] {
            range_upper_ = upper;
            events_.push_back("range " + std::to_string(upper));
        });
    }
    void SetProgressPosition(int position) override {
        Record([&] { events_.push_back("position " + std::to_string(position)); });
    }
    void SetActionButtonCaption(std::string_view caption) override {
        Record([&] { events_.push_back("caption " + std::string(caption)); });
    }
    void SetStatusText(std::string_view text) override {
        Record([&] { events_.push_back("status " + std::string(text)); });
    }
    void SetUiState(UiState state) override {
        Record([&] { events_.push_back("state " + std::to_string(static_cast<int>(state))); });
    }
    std::string DumpFilePath() override {
        std::lock_guard lock(mutex_);
        return in_file_;
    }
    void DecodeDump(const std::string& path) override {
        if (on_decode)
            on_decode(path);
        Record([&] {
            decoded_.push_back(path);
            events_.push_back("decode");
        });
    }

    // Waits until `count` dumps have been handed over for decoding.
    bool WaitForDecodes(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return decoded_.size() >= count; });
    }

    bool WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
    }

    std::vector<Message> messages() const { return Copy(messages_); }
    std::vector<std::string> events() const { return Copy(events_); }
    std::vector<std::string> decoded() const { return Copy(decoded_); }
    void set_in_file(std::string path) {
        std::lock_guard lock(mutex_);
        in_file_ = std::move(path);
    }

    // Runs on the reading thread when it hands a dump over (before it is recorded).
    std::function<void(const std::string&)> on_decode;

  private:
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
    std::string in_file_;
    int range_upper_ = 0;
    std::vector<Message> messages_;
    std::vector<std::string> events_;
    std::vector<std::string> decoded_;
};

}  // namespace korvalen::testing
