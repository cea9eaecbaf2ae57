// A serial port in memory for the reading thread's tests: what "arrives" is a string,
// what the program does to the port is written down in order.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "serial/serial_port.h"

namespace korvalen::testing {

class FakeSerialPort : public SerialPort {
  public:
    // Bytes that have arrived and wait to be read.
    void Arrive(const std::string& bytes) {
        std::lock_guard lock(mutex_);
        incoming_ += bytes;
    }
    // Everything the program did, in order: "timeouts", "mask", "line on"/"line off",
    // "queues 10000/1024", "purge", "discard input", "write (QND)", and, when `record_polls`,
    // "poll".
    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> writes() const {
        std::vector<std::string> out;
        for (const std::string& call : calls())
            if (call.rfind("write ", 0) == 0)
                out.push_back(call.substr(6));
        return out;
    }
    // The threads that asked what is waiting since the last call of this.
    std::set<std::thread::id> TakePollingThreads() {
        std::lock_guard lock(mutex_);
        return std::exchange(polling_threads_, {});
    }

    std::atomic<bool> fail_query{false};  // the next queries fail
    std::atomic<bool> fail_read{false};   // the next reads fail (and lose what waits)
    std::function<void(std::string_view)> on_write;

    bool SetTimeouts(const SerialTimeouts&) override { return Note("timeouts"); }
    bool SetReceiveEventMask() override { return Note("mask"); }
    bool SetLineState(std::string_view, ControlLines lines) override {
        return Note(lines == ControlLines::On ? "line on" : "line off");
    }
    bool SetQueueSizes(std::size_t input, std::size_t output) override {
        return Note("queues " + std::to_string(input) + "/" + std::to_string(output));
    }
    bool Purge() override {
        std::lock_guard lock(mutex_);
        incoming_.clear();
        calls_.push_back("purge");
        return true;
    }
    bool DiscardInput() override {
        std::lock_guard lock(mutex_);
        incoming_.clear();
        calls_.push_back("discard input");
        return true;
    }
    std::optional<std::size_t> BytesWaiting() override {
        std::lock_guard lock(mutex_);
        polling_threads_.insert(std::this_thread::get_id());
        if (fail_query)
            return std::nullopt;
        return incoming_.size();
    }
    std::optional<std::size_t> Read(void* buffer, std::size_t size) override {
        std::lock_guard lock(mutex_);
        if (fail_read) {
            incoming_.clear();
            return std::nullopt;
        }
        const std::size_t count = std::min(size, incoming_.size());
        incoming_.copy(static_cast<char*>(buffer), count);
        incoming_.erase(0, count);
        return count;
    }
    bool Write(std::string_view bytes) override {
        if (on_write)
            on_write(bytes);
        return Note("write " + std::string(bytes));
    }
    int last_error() const override { return 0; }

  private:
    bool Note(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
        return true;
    }

    mutable std::mutex mutex_;
    std::string incoming_;
    std::vector<std::string> calls_;
    std::set<std::thread::id> polling_threads_;
};

}  // namespace korvalen::testing
