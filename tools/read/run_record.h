// What happened to the transfers and jobs of a korvalen-read run, and its exit status.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "worker/road_events.h"

namespace korvalen {

// The run as the exit status tells it.
struct RunOutcome {
    bool interrupted = false;
    bool dump_failed = false;   // a dump could not be opened or written
    bool write_failed = false;  // a pass could not write or deliver every file
    int cut = 0;                // transfers short of their size, and a reader that never answered
};

// 130 interrupted, 1 a dump could not be written, 3 records or files could not be
// written, 4 a transfer ended cut, 0 otherwise: the first that applies.
int ExitStatus(const RunOutcome& outcome);

// What the run heard of its captures and jobs; wakes whoever waits for them. Its calls
// come from the workers' threads.
class RunRecord {
  public:
    void CaptureEnded(const CaptureReport& report);
    void JobEnded(const PassEnd& pass);
    // A capture could not open its dump file: nothing was captured.
    void DumpUnopened();
    // The reading thread found the port gone (an adapter pulled out).
    void PortLost();
    // Whether the port was lost since the last call.
    bool TakePortLost();

    // Waits until something happened (a capture or a job ended, Wake was called) or
    // `timeout` passed.
    void WaitForNews(std::chrono::milliseconds timeout);
    void Wake();

    int transfers() const;
    bool dump_unopened() const;
    // Jobs whose pass could not write or deliver every file.
    int failed_jobs() const;
    // The outcome so far, without the interrupt.
    RunOutcome outcome() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool news_ = false;  // guarded by mutex_, as every field below
    int transfers_ = 0;
    bool dump_unopened_ = false;
    bool port_lost_ = false;
    int failed_jobs_ = 0;
    RunOutcome outcome_;
};

}  // namespace korvalen
