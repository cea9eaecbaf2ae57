// The capture of one flash transfer as a pure state machine: poll results and ticks in,
// actions out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvalen {

// What the reader is sending, as far as the capture knows it.
enum class ReplyKind { None, HeaderPending, NewData, AllData };

// How a capture ended.
struct CaptureEnd {
    // The payload count met the size that an "ND" header announced, and that size was
    // not 0: the whole of the new data has arrived and may be acknowledged.
    bool complete_new_data = false;
    // A read from the port, or the query of what is waiting, failed during the capture.
    bool read_failed = false;
    // What the header announced (HeaderPending: no header came), and whether the payload
    // met its size.
    ReplyKind kind = ReplyKind::None;
    bool size_met = false;

    bool operator==(const CaptureEnd&) const = default;
};

// The rules of a capture, without the port, the file or the clock: the reading thread
// tells it at every poll what is waiting and what it read, with the tick count, and it
// says when a capture starts and ends and what to do with the waiting bytes. A capture
// starts when more than four bytes wait while none runs; it ends as soon as the payload
// count meets the announced size (right after the read that completes it), or after
// 500 ms without data.
class Capture {
  public:
    static constexpr std::size_t kMaxStrayBytes = 4;  // discarded outside a capture
    static constexpr std::uint32_t kSilenceMs = 500;  // that long without data ends it
    static constexpr std::size_t kReadLimit = 32768;  // bytes read at one poll at most
    static constexpr std::int64_t kSizeBeforeHeader = 10140;

    explicit Capture(std::uint32_t now_ms) : last_data_ms_(now_ms) {}

    enum class Step {
        Wait,     // nothing waiting
        Discard,  // stray bytes outside a capture: purge them
        Start,    // open the dump; when it opened, call Started() and read
        Read,     // read `read_size` bytes into the running capture
    };
    struct Poll {
        std::optional<CaptureEnd> ended;  // the capture that ended at this poll
        Step step = Step::Wait;
        std::size_t read_size = 0;

        bool operator==(const Poll&) const = default;
    };

    // One poll; `waiting` is what the port reports (nothing when the query failed).
    Poll OnPoll(std::optional<std::size_t> waiting, std::uint32_t now_ms);
    // The dump file is open: the capture runs.
    void Started();
    // What this poll's read gave (nothing or part of it when `failed`).
    void Received(std::string_view bytes, bool failed, std::uint32_t now_ms);
    // After a read: the capture ends now when the read completed the announced size, so
    // the reader hears "(SDD)" without waiting for the next poll.
    std::optional<CaptureEnd> EndIfComplete();

    bool active() const { return kind_ != ReplyKind::None; }
    ReplyKind kind() const { return kind_; }
    // Both keep their values from a capture's end until the next one starts.
    std::int64_t announced_size() const { return announced_size_; }
    std::int64_t received_count() const { return received_count_; }

  private:
    bool SizeMet() const;
    CaptureEnd End(bool size_met);

    ReplyKind kind_ = ReplyKind::None;
    std::int64_t announced_size_ = -1;
    std::int64_t received_count_ = -1;
    std::string header_text_;
    std::uint32_t last_data_ms_;
    bool read_failed_ = false;
};

}  // namespace korvalen
