// ReaderDevice: the reader's side of the protocol: commands in, answers out, events logged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sim/command_scanner.h"
#include "tools/sim/flash_memory.h"
#include "tools/sim/transmission.h"

namespace korvalen::sim {

// Faults of a flash transfer, so the program's handling of a bad line can be tried.
// Offsets count payload bytes, from the byte after the reply header.
struct TransferFaults {
    std::size_t noise = 0;  // bytes of line noise before the header
    std::optional<std::size_t> cut_at;
    std::optional<std::size_t> stall_at;
    Milliseconds stall_length{0};
    std::size_t extra = 0;  // bytes beyond the announced size
    std::optional<std::size_t> vanish_at;
    bool first_transfer_only = false;
};

struct ReaderOptions {
    double pace = 1.0;  // times the line rate; 0: as fast as the other side takes it
    TransferFaults faults;
    std::uint32_t seed = 1;  // of the noise
};

// The reader answers one command at a time: while it sends a transfer or its test
// report, only "(SSS)" is heeded. Every command and every event goes to the event sink
// as one line (see the tool's help for the format). Pure: the caller moves the bytes.
class ReaderDevice {
  public:
    using EventSink = std::function<void(const std::string&)>;

    ReaderDevice(FlashMemory& flash, const ReaderOptions& options, EventSink log);

    // Bytes from the program.
    void Receive(std::string_view bytes);
    // The reader's own button: a new-data transfer, unasked.
    void PressButton();

    // The bytes that may be written now (empty when there are none or it is too early).
    std::string_view Ready(SteadyTime now);
    // `count` bytes of Ready's answer went out.
    void Written(std::size_t count, SteadyTime now);
    // When there may be bytes to write again; none while the reader has nothing to send.
    std::optional<SteadyTime> NextChanceAt(SteadyTime now) const;

    // The device broke off as a pulled adapter after this many payload bytes: the
    // caller closes the line.
    std::optional<std::size_t> vanished_at() const { return vanished_at_; }

  private:
    enum class Answer { kNone, kNewData, kAllData, kTestReport };

    void Execute(const std::string& command);
    void StartTransfer(TransferKind kind);
    void StartTestReport();
    void Finish(TransmissionEnd end);
    void Stop();
    std::string Noise(std::size_t count);
    std::size_t PayloadSent() const;

    FlashMemory& flash_;
    ReaderOptions options_;
    EventSink log_;
    CommandScanner scanner_;
    LinePacer pacer_;
    std::mt19937 noise_random_;
    std::optional<Transmission> transmission_;
    Answer answer_ = Answer::kNone;
    std::size_t payload_start_ = 0;
    int transfers_started_ = 0;
    std::optional<std::size_t> vanished_at_;
};

// The lines of the self-test, without their CR LF; the last is "Test is finished".
std::vector<std::string> TestReportLines(const FlashMemory& flash);

}  // namespace korvalen::sim
