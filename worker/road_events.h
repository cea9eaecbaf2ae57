// What the road tells whoever runs it: its captures, its passes, its progress and its
// port, in its own terms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/pass_outcome.h"
#include "worker/road_journal.h"

namespace korvalen {

// What one capture came to: told once, when it has ended and its acknowledgement is
// decided.
struct CaptureReport {
    std::string port;                // "COM1", the device it was read from
    std::string dump;                // the dump file it was captured into
    std::optional<DumpKind> header;  // NewData or AllData, once the reply header was found
    std::int64_t announced = -1;     // the header's size; -1 without a header
    std::int64_t received = 0;       // payload bytes (every byte without a header)
    bool size_met = false;           // the payload met the announced size
    // Every byte reached the dump, and the dump is on the disk; else the system's code.
    bool dump_written = true;
    int dump_error = 0;
    bool read_failed = false;  // the port failed during the capture
    // Whether "(SDD)" went out, and in words why it did or did not.
    bool acknowledged = false;
    std::string acknowledgement;

    // What the transfer is as a dump: complete new or all data, or cut.
    DumpKind kind() const { return size_met && header ? *header : DumpKind::Cut; }
};

// A capture that was not begun: its dump file (or the journal that must know it) could
// not be opened. The reader keeps its data; nothing was acknowledged.
struct CaptureRefusal {
    std::string path;
    int code = 0;  // the system's
};

struct PassStart {
    std::string job;
    std::string dump;
};

struct PassEnd {
    std::string job;
    std::string dump;
    // False: the dump could not be opened (the operator has been told); nothing else
    // of the pass holds then.
    bool opened = false;
    PassOutcome outcome;
    // The road's lines about the job, top line first, shown above the pass's summary.
    std::vector<std::string> notes;
    // No other worker shows its progress now.
    bool progress_free = false;
};

// The road's one progress, which the capture and every pass share: the worker that
// owns it counts thousands of bytes. A step with a range starts a new count at 0.
struct ProgressStep {
    std::optional<int> range;
    int position = 0;
};

// What happened on the road. Every call comes from a worker's thread (the reading
// thread's or a job's) and must return soon: a capture waits for it. Nothing is asked
// back. What a listener does not care for it leaves as it is.
class RoadEvents {
  public:
    virtual ~RoadEvents() = default;

    // A transfer began on `port`; its dump file is open.
    virtual void CaptureStarted(std::string_view /*port*/) {}
    virtual void CaptureRefused(const CaptureRefusal& /*refusal*/) {}
    // Bytes arrived: `announced` is the size the transfer is known to have so far.
    virtual void CaptureReceived(std::int64_t /*received*/, std::int64_t /*announced*/) {}
    virtual void CaptureEnded(const CaptureReport& /*report*/) {}

    virtual void PassStarted(const PassStart& /*pass*/) {}
    virtual void PassEnded(const PassEnd& /*pass*/) {}

    virtual void ProgressMoved(const ProgressStep& /*step*/) {}
    // A line of the road outside a pass (the recovery's, a dump held elsewhere), for the
    // log list.
    virtual void RoadLine(std::string_view /*line*/) {}

    // The port went away (an adapter pulled out): whoever owns it closes it and tries
    // it again. Told once per loss.
    virtual void PortLost() {}
    // The reader answered on `port` ("COM3"): a transfer came with its reply header.
    virtual void ReaderAnswered(std::string_view /*port*/) {}
};

}  // namespace korvalen
