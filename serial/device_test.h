// The reader's self-test: its report collected line by line on a thread of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/manual_reset_event.h"
#include "platform/message_sink.h"
#include "serial/serial_port.h"

namespace korvalen {

// The last line of the reader's self-test report.
inline constexpr std::string_view kTestEndLine = "Test is finished";

// Adds the text of one read to the report's lines. The last line is the one still being
// received (possibly empty): a carriage return ends it, a line feed is dropped. True when
// the line before the last one is the end line.
bool CollectTestOutput(std::vector<std::string>& lines, std::string_view text);

// What the device test shows in its dialog. Called on the test's thread.
class DeviceTestHost : public MessageSink {
  public:
    // The report's lines from `first` on have changed: the view drops its entries from
    // `first` on and shows `lines` (UTF-8) in their place.
    virtual void ShowLines(std::size_t first, const std::vector<std::string>& lines) = 0;
    // While output arrives the dialog's buttons are disabled and it cannot be closed.
    virtual void SetRunning(bool running) = 0;
};

// One run of the reader's self-test, after "(QTF)" was written: polls the port every
// 100 ms and collects what arrives into lines. The run starts once the first byte has
// come and ends at the end line or after 5 s without data; then the buttons come back
// and a failed read is told. Without any answer it waits until `stop` is set, and ends
// silently then.
//
// Shared with the dialog's thread: `port` (synchronised by its owner), `stop` and
// running(). The lines are the run's own.
class DeviceTest {
  public:
    static constexpr std::uint32_t kPollMs = 100;
    static constexpr std::uint32_t kSilenceMs = 5000;
    static constexpr std::size_t kReadLimit = 32768;

    DeviceTest(SerialPort& port, const ManualResetEvent& stop, DeviceTestHost& host,
               const Clock& clock = SystemClock());

    // The thread's body.
    void Run();
    // One poll, for tests that step the run without waiting; true when the run ended.
    bool PollOnce();
    // True from the first byte to the end of the run: closing the dialog is refused.
    bool running() const { return running_; }

  private:
    void Read();
    void End();

    SerialPort& port_;
    const ManualResetEvent& stop_;
    DeviceTestHost& host_;
    const Clock& clock_;

    std::atomic<bool> running_ = false;
    std::uint32_t last_data_ms_ = 0;
    bool read_failed_ = false;
    bool finished_ = false;
    std::vector<std::string> lines_;
    std::vector<char> buffer_;
};

}  // namespace korvalen
