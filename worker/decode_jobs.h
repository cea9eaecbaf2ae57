// The job owner: every dump from the end of its capture to the dispatcher's InBox, with
// the journal, the archive and the read log that let it survive any end of the program.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "decode/operator.h"
#include "platform/clock.h"
#include "settings/settings.h"
#include "worker/capture_handle.h"
#include "worker/dump_archive.h"
#include "worker/job_run.h"
#include "worker/job_runner.h"
#include "worker/read_log.h"
#include "worker/road_events.h"
#include "worker/road_journal.h"
#include "worker/work_state.h"

namespace korvalen {

// The road's second half, between the reading thread and the InBox, in the core: the
// window only shows what it tells, and a tool or a test runs it without a window.
//
// It owns what the workers share (WorkState: the capture flag, the pass count, the
// progress claims, the abort event) and the settings of the next capture and pass. A
// capture gets its dump file and its job here (never over a dump not yet delivered), and
// hands the finished dump back; each dump then becomes a job: it is kept in the archive,
// decoded by a pass on a thread of its own, and its files are delivered into the InBox
// together. The journal has every job on the disk before each step that relies on it:
// the dump is recorded before "(SDD)" goes out, the pass's files are committed before
// they move, and a job leaves the journal only once its files are in the InBox. At the
// next start every job left over is finished: the moves completed, or the pass done
// again from the start.
//
// Its parts: the intake of dumps (decode_jobs.cpp), the jobs' passes (job_pass.cpp), the
// recovery of what an earlier run left (job_recovery.cpp), and the threads (JobRunner).
// What happens goes to `events`; what must wait for a person to `person`. Both must
// outlive the owner; the destructor waits for the job threads.
class DecodeJobs {
  public:
    // `data_folder` (ending with its separator) holds the journal, the read log and the
    // archive. Opens the journal; a folder that cannot be written leaves the road without
    // one: nothing is acknowledged then.
    DecodeJobs(const std::string& data_folder, const Settings& settings, RoadEvents& events,
               Operator& person, const Clock& clock = SystemClock());
    DecodeJobs(const DecodeJobs&) = delete;
    DecodeJobs& operator=(const DecodeJobs&) = delete;

    const WorkState& work() const { return work_; }
    ProgressClaims& progress() { return work_.progress; }
    RoadEvents& events() { return events_; }
    // The settings of the next capture and the next pass.
    void SetSettings(const Settings& settings);
    Settings settings() const;

    // At start-up, before the port opens: finishes every job left over by a program that
    // ended without finishing it (this one's last run, or another's).
    void Recover();
    // The operator's "decode pending": every job of this program not running now, and
    // every job left over, is finished. Returns how many dumps are decoded again.
    int DecodePending();
    // Dumps not yet delivered, of this program and of those that have ended.
    int PendingCount() const;

    // The dump file of a new capture and its job in the journal: the `InFile` path, or
    // the first numbered name that is free and holds no dump not yet delivered. A
    // refusal (with the path and the system's code) when none can be opened, or when the
    // journal cannot be read or written: a capture that could not be acknowledged is not
    // begun.
    std::variant<CaptureHandle, CaptureRefusal> BeginCapture();

    // "Декодировать файл": a dump the user chose, decoded on a thread of its own. A dump
    // that a waiting job holds (its dump or its archived copy, whichever session's) is
    // that job's, run as that job, not as a new one; one that another running program
    // holds is left to it.
    void DecodeFile(const std::string& path);
    // Every running pass stops at its next thousand bytes and still writes what it has.
    void AbortPasses() { work_.decoding_abort.Set(); }

    // No job thread runs.
    bool idle() const { return runner_.idle(); }
    bool WaitUntilIdle(std::chrono::milliseconds timeout) { return runner_.WaitUntilIdle(timeout); }

    const ReadLog& read_log() const { return read_log_; }
    const std::string& archive_folder() const { return archive_.folder(); }
    const RoadJournal& journal() const { return journal_; }

  private:
    friend class CaptureHandle;
    class PassSide;

    // The capture handle's end: records the dump, sends "(SDD)" when it may, decodes.
    CaptureReport EndCapture(const CaptureHandle& capture, CaptureReport report,
                             const std::function<void()>& acknowledge);
    void CaptureLetGo() { work_.capture_active = false; }

    int FinishPending(bool at_start);
    // Takes back what an earlier pass of the job wrote, so that its pass can be done
    // again from the start. False when that cannot be done now (the job waits).
    bool Redo(RoadJob& job);
    void RunJob(JobRun& run);
    void DeliverCommitted(const RoadJob& job);
    void DecodeJob(JobRun& run);
    // For a transfer of new data: how far an earlier part of the same data delivered its
    // records already, and whether its own part is to be remembered. Waits for the
    // transfers read before it to be done with, so that their parts are known.
    void WorkOutDeliveredPart(JobRun& run);
    void Archive(RoadJob& job);
    void LogCapture(const RoadJob& job, const CaptureReport& report);

    WorkState work_;
    RoadEvents& events_;
    Operator& person_;
    const Clock& clock_;
    RoadJournal journal_;
    DumpArchive archive_;
    ReadLog read_log_;

    mutable std::mutex mutex_;
    Settings settings_;  // guarded by mutex_

    // Last, so that its threads have ended before anything they use goes.
    JobRunner runner_{[this](JobRun& run) { RunJob(run); }};
};

}  // namespace korvalen
