// Transmission: what the reader sends for one answer, let out at the serial line's pace.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvalen::sim {

using SteadyTime = std::chrono::steady_clock::time_point;
using Milliseconds = std::chrono::milliseconds;

// 115,200 baud, 8N1: ten bit times per byte.
inline constexpr double kLineBytesPerSecond = 11520.0;

// A token bucket at the line's byte rate. It holds at most two 10 ms chunks, so a writer
// that was held up (a full pseudo-terminal, a slow reader) goes on at the line rate
// rather than in a burst.
class LinePacer {
  public:
    // `bytes_per_second`: 0 lets everything out at once.
    explicit LinePacer(double bytes_per_second);

    // How many bytes may go out at `now`.
    std::size_t Allowance(SteadyTime now);
    void Spend(std::size_t bytes);
    // When the next chunk may go out (`now` if it may already).
    SteadyTime NextChunkAt(SteadyTime now) const;

  private:
    double bytes_per_second_;
    double chunk_;
    double tokens_;
    std::optional<SteadyTime> refilled_;
};

enum class TransmissionEnd { kComplete, kCut, kVanished };

// The bytes of one answer in order, with pauses at given offsets and an optional point at
// which the answer breaks off. Pure: the caller writes what Ready gives and reports it.
class Transmission {
  public:
    struct Pause {
        std::size_t at;  // after this many bytes
        Milliseconds length;
    };
    struct BreakOff {
        std::size_t at;
        TransmissionEnd end;  // kCut: the reader goes silent; kVanished: the device is gone
    };

    Transmission(std::string bytes, std::vector<Pause> pauses, std::optional<BreakOff> break_off);

    // The bytes that may be written now: the pacer's allowance, up to the next pause or
    // the break-off point. Empty during a pause and once ended.
    std::string_view Ready(SteadyTime now, LinePacer& pacer);
    // `count` bytes of Ready's answer went out. Gives the length of a pause that begins
    // now, if one does.
    std::optional<Milliseconds> Written(std::size_t count, SteadyTime now, LinePacer& pacer);
    // When to look again, for the poll's time-out: the end of a pause or the pacer's
    // next chunk.
    SteadyTime NextChanceAt(SteadyTime now, const LinePacer& pacer) const;

    std::optional<TransmissionEnd> end() const;
    std::size_t sent() const { return sent_; }
    std::size_t size() const { return bytes_.size(); }

  private:
    std::size_t Limit() const;

    std::string bytes_;
    std::vector<Pause> pauses_;  // in order of offset
    std::optional<BreakOff> break_off_;
    std::size_t sent_ = 0;
    std::size_t next_pause_ = 0;
    std::optional<SteadyTime> paused_until_;
};

}  // namespace korvalen::sim
