// Jobs on their threads, and the turns of the transfers.
#include "worker/job_runner.h"

#include <thread>

namespace korvalen {

JobRunner::~JobRunner() {
    std::unique_lock lock(mutex_);
    threads_ended_.wait(lock, [this] { return threads_ == 0; });
}

void JobRunner::Start(std::vector<JobRun> runs) {
    {
        std::lock_guard lock(mutex_);
        std::erase_if(runs, [&](const JobRun& run) { return !running_.insert(run.job.id).second; });
        if (runs.empty())
            return;
        for (JobRun& run : runs) {
            if (run.job.kind != DumpKind::File && run.job.kind != DumpKind::AllData) {
                run.turn = next_turn_++;
                open_turns_.insert(*run.turn);
            }
        }
        ++threads_;
    }
    std::thread([this, runs = std::move(runs)]() mutable {
        for (JobRun& run : runs) {
            try {
                body_(run);
            } catch (...) {
            }
            EndTurn(run);
            std::lock_guard lock(mutex_);
            running_.erase(run.job.id);
        }
        // Nothing of the runner's is touched once the count has fallen.
        std::lock_guard lock(mutex_);
        --threads_;
        threads_ended_.notify_all();
    }).detach();
}

bool JobRunner::IsRunning(const std::string& id) const {
    std::lock_guard lock(mutex_);
    return running_.count(id) != 0;
}

bool JobRunner::idle() const {
    std::lock_guard lock(mutex_);
    return threads_ == 0;
}

bool JobRunner::WaitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return threads_ended_.wait_for(lock, timeout, [this] { return threads_ == 0; });
}

void JobRunner::WaitForTurn(const JobRun& run) {
    if (!run.turn)
        return;
    std::unique_lock lock(mutex_);
    turn_ended_.wait(lock, [&] { return *open_turns_.begin() == *run.turn; });
}

void JobRunner::EndTurn(JobRun& run) {
    if (!run.turn)
        return;
    {
        std::lock_guard lock(mutex_);
        open_turns_.erase(*run.turn);
    }
    run.turn.reset();
    turn_ended_.notify_all();
}

}  // namespace korvalen
