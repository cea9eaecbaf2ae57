// The thread that watches the open port and turns the reader's transfers into dumps.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/manual_reset_event.h"
#include "serial/capture.h"
#include "serial/link_rules.h"
#include "serial/serial_port.h"
#include "worker/capture_handle.h"
#include "worker/decode_jobs.h"
#include "worker/progress_share.h"

namespace korvalen {

// The body of the thread that watches the open port: every 100 ms it asks the port what
// is waiting, captures transfers into dump files that the job owner gives it, and hands
// every captured dump back, which acknowledges a complete transfer of new data once it is
// on the disk and decodes it. What happens goes to the job owner's road events: a
// capture's start, its bytes and the progress, a refused capture; a port whose status
// query fails for a second outside a capture is told as lost, a transfer with the
// reader's reply header as the reader's answer.
//
// Shared with other threads: `port` (every call synchronises itself, see
// PortConnection), `stop`, the job owner (its work state: the capture flag and the
// progress claims) and its events. The rest is the thread's own. It never holds a lock
// of the port while it tells an event, so the window's thread may close the port while a
// message about it is shown.
class ReadingThread {
  public:
    static constexpr std::uint32_t kPollMs = 100;

    // `port_name` names the port in the read log ("COM1").
    ReadingThread(SerialPort& port, ManualResetEvent& stop, DecodeJobs& jobs, std::string port_name,
                  const Clock& clock = SystemClock());

    // Polls until `stop` is set and `may_end` (asked each time it is) agrees; the owner
    // decides there, under its own lock, whether the port was opened again meanwhile.
    // A capture that runs when the thread ends is closed with what it holds, without
    // acknowledgement or decoding: the program is going, and its next start decodes it.
    void Run(const std::function<bool()>& may_end = [] { return true; });

    // One poll, for tests that step the thread without waiting.
    void PollOnce();

  private:
    bool StartCapture();
    void ReadWaiting(std::size_t size);
    void WriteToDump(std::string_view bytes);
    void EndCapture(const CaptureEnd& end);
    void AbandonCapture();

    SerialPort& port_;
    ManualResetEvent& stop_;
    DecodeJobs& jobs_;
    RoadEvents& events_;
    const std::string port_name_;
    const Clock& clock_;

    Capture capture_;
    LostPortRule lost_port_;
    ProgressShare progress_;
    std::optional<CaptureHandle> dump_;  // while a capture runs
    bool dump_write_failed_ = false;
    int dump_error_code_ = 0;
    std::vector<char> buffer_;
};

}  // namespace korvalen
