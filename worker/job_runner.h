// The threads of the job owner: jobs run once at a time each, transfers in their order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "worker/job_run.h"

namespace korvalen {

// Runs jobs on threads of their own. A job runs at most once at a time in this process
// (the running set); the transfers of new data take their turns in the order they were
// started, each one done with before the next looks for the parts it shares with it.
//
// Threads: Start, IsRunning and the waits may be called from any thread; the body runs on
// the job's thread. The destructor waits for every thread it started.
class JobRunner {
  public:
    using Body = std::function<void(JobRun&)>;

    explicit JobRunner(Body body) : body_(std::move(body)) {}
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Runs `runs` one after another on a new thread; one already running is left out.
    // What the body throws ends its job quietly: the journal keeps what is not finished.
    void Start(std::vector<JobRun> runs);
    bool IsRunning(const std::string& id) const;
    bool idle() const;
    bool WaitUntilIdle(std::chrono::milliseconds timeout);

    // On the job's thread: until every transfer started before this one has ended its
    // turn. A run without a turn goes on at once.
    void WaitForTurn(const JobRun& run);
    void EndTurn(JobRun& run);

  private:
    const Body body_;
    mutable std::mutex mutex_;
    std::set<std::string> running_;  // ids of the jobs on a thread now; guarded by mutex_
    int threads_ = 0;                // threads not ended yet; guarded by mutex_
    std::condition_variable threads_ended_;
    std::uint64_t next_turn_ = 0;  // guarded by mutex_, as the open turns
    std::set<std::uint64_t> open_turns_;
    std::condition_variable turn_ended_;
};

}  // namespace korvalen
