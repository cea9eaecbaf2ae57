// The decoding of one dump file into routes and their files, run on a worker thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decode/delivered_range.h"
#include "decode/frame_capture.h"
#include "decode/operator.h"
#include "decode/pass_outcome.h"
#include "decode/reset_marker.h"
#include "decode/route_table.h"
#include "output/csv_file.h"
#include "output/staged_delivery.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/manual_reset_event.h"
#include "settings/settings.h"

namespace korvalen {

// The texts of a pass that the window and the tools share.
inline constexpr std::string_view kRecordsWithoutIdQuestion =
    "Присутствуют команды без ID! Использовать для них ID? (Нет - пропустить все команды)";

// How far a pass has read, for whoever shows it.
class PassProgress {
  public:
    virtual ~PassProgress() = default;
    // The dump is open and the pass begins: what it does from here on can be aborted.
    virtual void Started() {}
    // After every thousand bytes, and after the last one.
    virtual void Advanced(std::int64_t bytes_read, std::int64_t length) = 0;
};

// What a pass tells whoever keeps a journal of it, so that a program that ends at any
// moment of the pass can finish it at its next start. Each call returns once what it
// records is on the disk; false when it could not be recorded: the pass then delivers
// nothing (its files could not be finished after a crash), and its CSV lines are taken
// back.
class PassJournal {
  public:
    virtual ~PassJournal() = default;
    // Before the staging folder is made: the pass makes its message files in `staging`,
    // a folder inside `inbox`.
    virtual bool Staging(const std::string& staging, const std::string& inbox) = 0;
    // A CSV file is about to grow from `length`: a pass done again cuts it back there.
    virtual bool CsvOpened(const std::string& path, std::int64_t length) = 0;
    // Every file of the pass is written and on the disk: `files` are staged, the CSV
    // files have grown as `csv` says (with their ends). True when they may be moved into
    // the InBox now; false leaves them undelivered.
    virtual bool Commit(const std::vector<StagedFile>& files,
                        const std::vector<CsvFileMark>& csv) = 0;
};

// One decoding pass over one dump file: cuts out frames and power-on markers, decodes the
// records, sorts them into one route per object, lets the routes write the message and
// CSV files, hands the files over and tells what it came to (`outcome()`).
//
// The message files are made in a staging folder inside the InBox and moved into the
// InBox only when every file of the pass has been written and put onto the disk; when one
// could not be, none is delivered and the CSV files are cut back to where they were, so
// the dump can be decoded again without a record twice. A file under its final name in
// the InBox is always whole.
//
// Several passes may run at once, each on a thread of its own. A pass shares with others
// only the operator, the abort event and the progress and journal it is given; everything
// else is its own.
class DecodingPass {
  public:
    static constexpr std::size_t kDefaultReadBlockSize = std::size_t{256} * 1024;

    // Takes copies of the settings and of the path now, as a worker does when it starts.
    DecodingPass(const Settings& settings, std::string dump_path, Operator& host,
                 const Clock& clock = SystemClock());
    ~DecodingPass();

    // The whole pass. False when the dump could not be opened (that has been shown, and
    // nothing else changed); true otherwise, also after an abort. Whatever fails inside
    // (a write, a read, memory) counts as an error of the pass.
    bool Run();

    // Set at any time, from any thread, stops the reading at the next thousand bytes;
    // the routes still write what they have. The pass resets it when it starts, so a
    // signal meant for an earlier pass does not stop it.
    void set_abort(ManualResetEvent* abort) { abort_ = abort; }
    void set_progress(PassProgress* progress) { progress_ = progress; }
    void set_journal(PassJournal* journal) { journal_ = journal; }
    // The records whose frames lie wholly in one of these ranges of the dump were
    // delivered with an earlier part of the same data: decoded as usual, so that what
    // follows them comes out as an uninterrupted read would give it, but delivered
    // nowhere again.
    void set_delivered(std::vector<DeliveredRange> ranges) {
        delivered_before_ = std::move(ranges);
    }
    // Names the pass's staging folder; by default a name of its own from the clock.
    void set_staging_id(std::string id) { staging_id_ = std::move(id); }
    // For tests: smaller read blocks, and CSV opening retries without real sleeping.
    void set_read_block_size(std::size_t size) { read_block_size_ = size > 0 ? size : 1; }
    void set_csv_wait(CsvWait wait) { csv_wait_ = std::move(wait); }

    // The outcome, once Run has returned.
    int error_count() const { return error_count_; }
    // The system's code when the dump could not be opened.
    int open_error() const { return open_error_; }
    // Records that did not reach the InBox: those of every file when the pass could not
    // deliver its files (a full disk, an InBox that cannot be written), what the tools
    // report as lost output.
    int unwritten_record_count() const { return unwritten_record_count_; }
    // The files were moved into the InBox (true also for a pass that had none).
    bool delivered() const { return delivered_; }
    // The pass could not record a step in its journal: nothing was delivered.
    bool journal_failed() const { return journal_failed_; }
    // CSV files whose lines of an undelivered pass could not be taken back (held by
    // another program): a pass done again would append them twice unless they are.
    const std::vector<CsvFileMark>& csv_not_cut_back() const { return csv_not_cut_back_; }
    // Output files that could not be opened, written or moved into the InBox.
    int failed_file_count() const { return failed_file_count_; }
    // Routes with records of this pass (not only records delivered before).
    int route_count() const;
    // Records left out as delivered before.
    int delivered_before_count() const { return delivered_before_count_; }
    int point_count() const;
    int delivered_file_count() const { return delivered_file_count_; }
    // Routes whose map files (GPX, KML) could not all be written.
    int failed_map_count() const { return failed_map_count_; }
    int power_on_count() const { return power_on_count_; }
    bool completed() const { return completed_; }
    // What the pass came to, for its summary and the read log (without its duration,
    // which whoever ran it measures).
    PassOutcome outcome() const;

  private:
    enum class IdMode { NotAsked, AddChosenId, SkipRecordsWithoutId };

    void ReadDump(File& dump, std::int64_t length);
    // `offset`: where `begin` lies in the dump.
    void FeedSegment(const char* begin, const char* end, std::int64_t offset);
    void HandleFrame(std::string_view content, bool delivered_before);
    // Whether the frame that ends at `end` of the dump, its content `size` long, lies
    // wholly in a range delivered before.
    bool DeliveredBefore(std::int64_t end, std::size_t size) const;
    bool DecodeRecordWithoutId(std::string_view content, MRVMessage& m);
    bool HasLocalMidnight(const MRVMessage& m);
    void AddToRoute(MRVMessage& m, bool delivered_before);
    void FinalWrite();
    void Deliver();
    void Undeliver();
    // The CSV files of every route, their lengths before the pass and, once the final write
    // has closed them, after it.
    std::vector<CsvFileMark> CsvMarks() const;
    void Summarise();

    const Settings settings_;
    const std::string dump_path_;
    Operator& host_;
    const Clock& clock_;
    ManualResetEvent* abort_ = nullptr;
    PassProgress* progress_ = nullptr;
    PassJournal* journal_ = nullptr;
    std::string staging_id_;
    std::unique_ptr<StagedDelivery> delivery_;
    CsvWait csv_wait_ = SleepWait;
    std::size_t read_block_size_ = kDefaultReadBlockSize;

    RouteTable routes_;
    FrameCapture frames_;
    ResetMarkerDetector markers_;
    std::vector<const char*> marker_ends_;  // of the current segment
    bool power_on_pending_ = false;
    IdMode id_mode_ = IdMode::NotAsked;
    std::string chosen_id_;
    std::string record_with_id_;  // a record without ID with the chosen one appended
    int error_count_ = 0;
    int open_error_ = 0;
    int unwritten_record_count_ = 0;
    int failed_map_count_ = 0;
    int failed_file_count_ = 0;
    int delivered_file_count_ = 0;
    int power_on_count_ = 0;
    std::vector<DeliveredRange> delivered_before_;
    int delivered_before_count_ = 0;
    bool completed_ = true;
    std::vector<std::string> route_lines_;
    CalendarTime finished_at_{};
    bool delivered_ = false;
    bool journal_failed_ = false;
    std::vector<CsvFileMark> csv_not_cut_back_;

    // The decoding time of records: the clock is read at most once per read block.
    bool decoding_time_valid_ = false;
    double decoded_utc_ = 0;
    double decoded_local_ = 0;

    // Dates whose local midnight was looked up (the C library's conversion is slow, and
    // the records of several objects interleave their dates). A small direct-mapped
    // cache: its size does not grow with the dump.
    struct KnownDate {
        std::int32_t key = -1;  // year * 10000 + month * 100 + day
        bool has_midnight = false;
    };
    std::array<KnownDate, 64> known_dates_{};
};

}  // namespace korvalen
