// The run's record and the exit status it comes to.
#include "tools/read/run_record.h"

#include <utility>

namespace korvalen {

int ExitStatus(const RunOutcome& outcome) {
    if (outcome.interrupted)
        return 130;
    if (outcome.dump_failed)
        return 1;
    if (outcome.write_failed)
        return 3;
    return outcome.cut > 0 ? 4 : 0;
}

void RunRecord::CaptureEnded(const CaptureReport& report) {
    {
        std::lock_guard lock(mutex_);
        ++transfers_;
        // An empty transfer (size 0) meets its size: the reader had nothing new.
        if (!report.size_met)
            ++outcome_.cut;
        if (!report.dump_written)
            outcome_.dump_failed = true;
        news_ = true;
    }
    changed_.notify_all();
}

void RunRecord::JobEnded(const PassEnd& pass) {
    {
        std::lock_guard lock(mutex_);
        if (!pass.opened || !pass.outcome.delivered || pass.outcome.errors > 0) {
            outcome_.write_failed = true;
            ++failed_jobs_;
        }
        news_ = true;
    }
    changed_.notify_all();
}

void RunRecord::DumpUnopened() {
    {
        std::lock_guard lock(mutex_);
        dump_unopened_ = true;
        outcome_.dump_failed = true;
        news_ = true;
    }
    changed_.notify_all();
}

void RunRecord::PortLost() {
    {
        std::lock_guard lock(mutex_);
        port_lost_ = true;
        news_ = true;
    }
    changed_.notify_all();
}

bool RunRecord::TakePortLost() {
    std::lock_guard lock(mutex_);
    return std::exchange(port_lost_, false);
}

void RunRecord::WaitForNews(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return news_; });
    news_ = false;
}

void RunRecord::Wake() {
    {
        std::lock_guard lock(mutex_);
        news_ = true;
    }
    changed_.notify_all();
}

int RunRecord::transfers() const {
    std::lock_guard lock(mutex_);
    return transfers_;
}

bool RunRecord::dump_unopened() const {
    std::lock_guard lock(mutex_);
    return dump_unopened_;
}

int RunRecord::failed_jobs() const {
    std::lock_guard lock(mutex_);
    return failed_jobs_;
}

RunOutcome RunRecord::outcome() const {
    std::lock_guard lock(mutex_);
    return outcome_;
}

}  // namespace korvalen
