// The journal of the road from the port to the InBox: which dumps are not yet delivered,
// and how far each one got, on the disk before every step that relies on it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/csv_file.h"
#include "output/staged_delivery.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "worker/delivered_part.h"

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

// What a job's delivery does to the parts of transfers remembered as delivered.
enum class PartOnDelivery {
    None,
    // A transfer of new data: should the reader send it again (it ended short, or its
    // acknowledgement did not reach the reader), what it delivered is not delivered twice.
    Keep,
};

// One dump on its way to the InBox. Its id is its one identity: unique across processes
// and restarts, it names the pass's staging folder too.
struct RoadJob {
    std::string id;
    int owner = 0;  // the session that works on it (see RoadJournal)
    JobState state = JobState::Pending;
    DumpKind kind = DumpKind::Cut;
    std::string read_at;  // "20261209-171052", when the capture began; empty for a file
    std::string dump;
    std::int64_t payload_start = -1;  // where the capture found its payload; -1 not known
    std::string archive;              // where the archive keeps the dump, once it does
    std::string staging;              // the staging folder of its pass, named before it is made
    std::string inbox;                // the InBox of that pass
    std::vector<CsvFileMark> csv;     // CSV files its pass appends to, with their lengths
    std::vector<StagedFile> files;    // once committed: every file its pass staged
    // Once worked out (`parts_looked_up`): its records that lie wholly in one of the
    // `delivered` ranges of its dump came with earlier parts of the same data; whether its
    // own part is remembered once it is delivered, in the place of the parts of the dumps
    // `based_on`, which its payload holds whole.
    bool parts_looked_up = false;
    std::vector<DeliveredRange> delivered;
    std::vector<std::string> based_on;
    PartOnDelivery on_delivery = PartOnDelivery::None;
    // With Keep: the payload bytes of its transfer of new data (from `payload_start`), and
    // the bytes before any header in its dump (the rest of a transfer that was under way
    // when the capture began; all of a dump without a header), that its pass delivers.
    std::int64_t part_length = 0;
    std::int64_t piece_length = 0;

    bool operator==(const RoadJob&) const = default;
};

// The job waits for a pass of its own from the start again: what an earlier pass staged
// is forgotten, and `csv` (the marks whose lines are still to be taken back) kept.
void ResetForRedo(RoadJob& job, std::vector<CsvFileMark> csv = {});

// What the journal holds: the jobs, and the parts delivered of transfers that the readers
// will send again, newest first.
struct JournalContents {
    std::vector<RoadJob> jobs;
    std::vector<DeliveredPart> parts;

    bool operator==(const JournalContents&) const = default;
};

// The journal file's text and back. A text that is not a whole journal (a damaged line, a
// job cut off) gives nothing: a guess at the rest could drop a job whose reader has
// forgotten its data.
std::string FormatJournal(const JournalContents& contents);
std::optional<JournalContents> ParseJournal(std::string_view text);

// Why the journal could not be read or changed: the system's code, or one of these.
inline constexpr int kJournalDamaged = -1;  // the file is there but is no whole journal
inline constexpr int kJournalBusy = -2;     // another program's change did not end in time
inline constexpr int kJournalClosed = -3;   // no session: the data folder cannot be written
inline constexpr int kJobGone = -4;         // no job has the id (it was finished meanwhile)
inline constexpr int kJobExists = -5;       // a job has the id already
// The reason in the read log's words: "журнал поврежден", "код ошибки 5", ...
std::string JournalErrorText(int code);

// The journal of one data folder ("Korvalen.jnl"), shared by every program and tool that
// reads with that folder. Each process holds a session of its own ("Korvalen-1.lck",
// "Korvalen-2.lck", ...) for as long as it runs; a job whose session nobody holds any
// more belongs to a process that ended, and the next one to start takes it over.
//
// Every change is read, checked, made and written under a short lock of the journal file
// ("Korvalen.jnl.lock"), so no thread or process writes back a copy that another has
// changed meanwhile; the file is replaced whole (written beside it, put onto the disk,
// renamed, its folder synced), so a crash at any moment leaves either the old or the new
// journal. Only a missing journal is an empty one: one that cannot be read fails the
// change that needed it. The functions that return an int give 0 or the reason (see
// kJournalDamaged). Thread-safe.
class RoadJournal {
  public:
    explicit RoadJournal(std::string data_folder);
    ~RoadJournal();
    RoadJournal(const RoadJournal&) = delete;
    RoadJournal& operator=(const RoadJournal&) = delete;

    // Creates the data folder when missing (its name on the disk) and takes the first
    // free session. Without a session nothing can be journalled.
    int Open();
    bool is_open() const { return session_ != 0; }
    int session() const { return session_; }
    const std::string& folder() const { return folder_; }

    // Every job, of every session.
    int ReadAll(std::vector<RoadJob>& jobs) const;
    // The parts delivered of transfers that the readers will send again.
    int Parts(std::vector<DeliveredPart>& parts) const;
    // This session's jobs.
    int Jobs(std::vector<RoadJob>& jobs) const;
    std::optional<RoadJob> Find(const std::string& id) const;
    // The jobs whose session has ended (this session's own from an earlier run among
    // them), now owned by this one.
    int TakeOverAbandoned(std::vector<RoadJob>& taken);
    // Whether the session that owns a job is held by a process that runs now (this one
    // among them).
    bool SessionAlive(int session) const;

    // Adds a new job, owned by this session; kJobExists when a job has its id.
    int Add(RoadJob job);
    // Edits the job as the journal has it now; kJobGone when no job has the id.
    int Change(const std::string& id, const std::function<void(RoadJob&)>& edit);
    // The job leaves the journal; in the same change its delivery is applied to the parts:
    // the part it was based on goes, and with Keep its own dump becomes the newest part.
    int Remove(const std::string& id);
    // Whether a job of any session has `path` as its dump, compared by what the file is,
    // not by how it is spelled: a capture must not write over it. True when the journal
    // cannot be read.
    bool HoldsDump(const std::string& path) const;
    // An id no job has had: the time and a random number.
    std::string NewJobId(const CalendarTime& now) const;

    // How many delivered parts are remembered: one per logger read short lately.
    static constexpr std::size_t kMostParts = 16;
    // How long a change waits for another process's change to end.
    static constexpr std::chrono::milliseconds kLockWait{5000};

  private:
    std::string JournalPath() const;
    // Reads the whole journal under the file lock, lets `change` edit it and writes it
    // back when `change` returns true. `change` may set `refusal` to fail the change.
    int Update(const std::function<bool(JournalContents&, int& refusal)>& change);
    int Read(JournalContents& contents) const;

    const std::string folder_;
    mutable std::mutex mutex_;  // one change at a time within the process
    File session_lock_;
    int session_ = 0;
};

}  // namespace korvalen
