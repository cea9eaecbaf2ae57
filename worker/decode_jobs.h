// The job owner: every dump from the end of its capture to the dispatcher's InBox, with
// the journal, the archive and the read log that let it survive any end of the program.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"
#include "settings/settings.h"
#include "worker/dump_archive.h"
#include "worker/read_log.h"
#include "worker/road_journal.h"
#include "worker/work_state.h"
#include "worker/worker_host.h"

namespace korvalen {

// What a capture came to, as the reading thread tells it.
struct CaptureReport {
    std::string port;                // "COM1", the device it was read from
    std::optional<DumpKind> header;  // NewData or AllData, once the reply header was found
    std::int64_t announced = -1;     // the header's size; -1 without a header
    std::int64_t received = 0;       // payload bytes (every byte without a header)
    bool size_met = false;           // the payload met the announced size
    bool dump_written = true;        // every byte reached the dump, and the dump is on the disk
    bool read_failed = false;
    // Once it is decided: whether "(SDD)" went out, and in words why it did or did not.
    bool acknowledged = false;
    std::string acknowledgement;
};

// What a tool or a test hears of the jobs beyond what the window shows; every call comes
// from a worker's thread.
class JobListener {
  public:
    virtual ~JobListener() = default;
    // A capture ended and its dump goes to be decoded.
    virtual void CaptureEnded(const CaptureReport& report) = 0;
    // A job's pass ended (or its dump could not be opened: `opened` false).
    virtual void JobEnded(const PassLine& outcome, bool opened) = 0;
};

// The dump file of a running capture; the journal knows its job.
struct CaptureDump {
    File file;
    std::string path;
    std::string job_id;
};

// The road's second half, between the reading thread and the InBox, in the core: the
// window only shows what it does, and a tool or a test runs it without a window.
//
// It owns what the workers share (WorkState: the capture flag, the pass count, the
// progress claims, the abort event) and a copy of the settings, which the window keeps
// current. A capture gets its dump file here (never over a dump not yet delivered), and
// hands the finished dump back; each dump then becomes a job: it is kept in the archive,
// decoded by a pass on a thread of its own, and its files are delivered into the InBox
// together. The journal has every job on the disk before each step that relies on it:
// the dump is recorded before "(SDD)" goes out, the pass's files are committed before
// they move, and a job leaves the journal only once its files are in the InBox. At the
// next start every job left over is finished: the moves completed, or the pass done
// again from the start.
//
// Threads: the reading thread calls the capture functions, the window's thread the
// rest; each job runs on a thread of its own (jobs recovered together on one thread, in
// order). The host must outlive the owner; the destructor waits for the job threads.
class DecodeJobs {
  public:
    // `data_folder` (ending with its separator) holds the journal, the read log and the
    // archive. Opens the journal; a folder that cannot be written leaves the road without
    // one: nothing is acknowledged then.
    DecodeJobs(const std::string& data_folder, const Settings& settings, WorkerHost& host,
               const Clock& clock = SystemClock());
    ~DecodeJobs();
    DecodeJobs(const DecodeJobs&) = delete;
    DecodeJobs& operator=(const DecodeJobs&) = delete;

    WorkState& work() { return work_; }
    // The settings for the next capture and the next pass.
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

    // The dump file of a new capture: the `InFile` path, or the first numbered name that
    // is free and holds no dump not yet delivered, its job in the journal. Nothing when
    // none can be opened (the system's code of the last try in `error_code`, the path of
    // the setting in `in_file`) or when the journal cannot be read or written (its code
    // and its path): a capture that could not be acknowledged is not begun.
    std::optional<CaptureDump> BeginCapture(int& error_code, std::string& in_file);
    // The capture has ended and its dump is closed: records it as not yet delivered. True
    // when that is on the disk, so that the reader may now be told to forget the data.
    bool CaptureEnded(const CaptureDump& dump, const CaptureReport& report);
    // After the acknowledgement, or the decision not to send it (the report says which):
    // keeps the dump in the archive and decodes it on a thread of its own.
    void DecodeCaptured(const CaptureDump& dump, const CaptureReport& report);

    // "Декодировать файл": a dump the user chose, decoded on a thread of its own. A dump
    // that a waiting job holds (its dump or its archived copy, whichever session's) is
    // that job's, run as that job, not as a new one; one that another running program
    // holds is left to it.
    void DecodeFile(const std::string& path);

    // Set before the first capture or job; it must outlive the owner.
    void set_listener(JobListener* listener) { listener_ = listener; }

    // No job thread runs.
    bool idle() const { return work_.decoding_threads.load() == 0; }
    bool WaitUntilIdle(std::chrono::milliseconds timeout);

    const ReadLog& read_log() const { return read_log_; }
    const std::string& archive_folder() const { return archive_.folder(); }
    const RoadJournal& journal() const { return journal_; }

  private:
    struct JobRun;
    class PassSide;

    int FinishPending(bool at_start);
    // Takes back what an earlier pass of the job wrote, so that its pass can be done
    // again from the start. False when that cannot be done now (the job waits).
    bool Redo(RoadJob& job);
    // A job of the journal to finish: committed ones have their moves completed, the
    // rest are decoded again.
    JobRun Recovered(RoadJob job);
    // Runs the jobs one after another on a thread of its own; a job already running is
    // not started again.
    void StartJobs(std::vector<JobRun> runs);
    void RunJob(JobRun& run);
    void DeliverCommitted(const RoadJob& job);
    void DecodeJob(JobRun& run);
    // For a transfer of new data: how far an earlier part of the same data delivered its
    // records already, and whether its own part is to be remembered. Waits for the
    // transfers read before it to be done with, so that their parts are known.
    void WorkOutDeliveredPart(JobRun& run);
    void EndTurn(JobRun& run);
    void Archive(RoadJob& job);
    void LogCapture(const RoadJob& job, const JobRun& run);
    bool IsRunning(const std::string& id) const;

    WorkState work_;
    WorkerHost& host_;
    const Clock& clock_;
    RoadJournal journal_;
    DumpArchive archive_;
    ReadLog read_log_;

    JobListener* listener_ = nullptr;

    mutable std::mutex mutex_;
    Settings settings_;              // guarded by mutex_
    std::set<std::string> running_;  // ids of the jobs on a thread now; guarded by mutex_
    std::condition_variable threads_ended_;
    // The transfers of new data take their turns in the order they were read (or found at
    // the start), each one's part known before the next looks for it; guarded by mutex_.
    std::uint64_t next_turn_ = 0;
    std::set<std::uint64_t> open_turns_;
    std::condition_variable turn_ended_;
};

}  // namespace korvalen
