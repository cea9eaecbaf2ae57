// The journal of the road from the port to the InBox: which dumps are not yet delivered,
// and how far each one got, on the disk before every step that relies on it.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/csv_file.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace korvalen {

// How far a dump has come.
enum class JobState {
    Capturing,  // bytes are arriving; a program that ended now left a cut dump
    Pending,    // the dump is whole on the disk; its files are not yet all delivered
    Committed,  // every file of its pass is written and on the disk: only the moves are left
};

// What a dump is.
enum class DumpKind {
    NewData,  // a complete transfer headed "ND"
    AllData,  // a complete transfer headed "AD"
    Cut,      // a transfer that ended short of its announced size, or without a header
    File,     // a file the user chose to decode
};

std::string_view DumpKindName(DumpKind kind);  // "ND", "AD", "cut", "file"

// One dump on its way to the InBox.
struct RoadJob {
    std::string id;  // also the name of its pass's staging folder
    int owner = 0;   // the session that works on it (see RoadJournal)
    JobState state = JobState::Pending;
    DumpKind kind = DumpKind::Cut;
    std::string read_at;  // "20261209-171052", when the capture began; empty for a file
    std::string dump;
    std::string archive;  // where the archive keeps the dump, once it does
    std::string staging;  // the staging folder of its pass, once the pass began
    std::string inbox;    // the InBox of that pass
    std::vector<CsvFileMark> csv;  // CSV files its pass appends to, with their lengths before

    bool operator==(const RoadJob&) const = default;
};

// The journal file's text and back. A text that is not a journal gives nothing; jobs
// after a damaged one are not read.
std::string FormatJournal(const std::vector<RoadJob>& jobs);
std::optional<std::vector<RoadJob>> ParseJournal(std::string_view text);

// The journal of one data folder ("Korvalen.jnl"), shared by every program and tool that
// reads with that folder. Each process holds a session of its own ("Korvalen-1.lck",
// "Korvalen-2.lck", ...) for as long as it runs; a job whose session nobody holds any
// more belongs to a process that ended, and the next one to start takes it over.
//
// Every change is read, made and written under a short lock of the journal file
// ("Korvalen.jnl.lock"); the file is replaced whole (written beside it, put onto the
// disk, renamed), so a crash at any moment leaves either the old or the new journal.
// Thread-safe.
class RoadJournal {
  public:
    explicit RoadJournal(std::string data_folder);
    ~RoadJournal();
    RoadJournal(const RoadJournal&) = delete;
    RoadJournal& operator=(const RoadJournal&) = delete;

    // Creates the data folder when missing and takes the first free session. False when
    // the folder cannot be written: then nothing can be journalled.
    bool Open();
    bool is_open() const { return session_ != 0; }
    int session() const { return session_; }
    const std::string& folder() const { return folder_; }

    // The jobs whose session has ended (this session's own from an earlier run among
    // them), now owned by this one.
    std::vector<RoadJob> TakeOverAbandoned();

    // Adds the job, or replaces the one with its id; on the disk when it returns true.
    bool Put(RoadJob job);
    bool Remove(const std::string& id);
    std::optional<RoadJob> Find(const std::string& id) const;
    // This session's jobs.
    std::vector<RoadJob> Jobs() const;
    // Whether a job of any session names `path` as its dump: a capture must not write
    // over it.
    bool HoldsDump(const std::string& path) const;
    // An id that no job has: the time and a number.
    std::string NewJobId(const CalendarTime& now) const;

    // How long a change waits for another process's change to end.
    static constexpr std::chrono::milliseconds kLockWait{5000};

  private:
    std::string JournalPath() const;
    // Reads the whole journal under the file lock, lets `change` edit it and writes it
    // back when `change` says so. False when the lock or the write failed.
    template <typename Change>
    bool Update(const Change& change);
    std::vector<RoadJob> ReadAll() const;

    const std::string folder_;
    mutable std::mutex mutex_;  // one change at a time within the process
    File session_lock_;
    int session_ = 0;
};

}  // namespace korvalen
