// The decoding of one dump file into routes and their files, run on a worker thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/decoding_host.h"
#include "decode/frame_capture.h"
#include "decode/reset_marker.h"
#include "decode/route_table.h"
#include "output/csv_file.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "settings/settings.h"
#include "worker/work_state.h"

namespace korvalen {

// The texts of a pass that the window and the tools share.
inline constexpr std::string_view kRecordsWithoutIdQuestion =
    "Присутствуют команды без ID! Использовать для них ID? (Нет - пропустить все команды)";
inline constexpr std::string_view kDecodingStatus = "Преобразование";

// One decoding pass over one dump file: cuts out frames and power-on markers, decodes the
// records, sorts them into one route per object, lets the routes write the message and
// CSV files, and puts its summary at the top of the host's log list.
//
// Run it on a thread of its own; several passes may run at once. What a pass shares with
// the window and the other workers is `work` (its pass count, progress claim mask and
// abort event, all synchronised) and the host; everything else is its own.
class DecodingPass {
  public:
    static constexpr std::size_t kDefaultReadBlockSize = std::size_t{256} * 1024;

    // Takes copies of the settings and of the path now, as a worker does when it starts.
    DecodingPass(const Settings& settings, std::string dump_path, WorkState& work,
                 DecodingHost& host, const Clock& clock = SystemClock());

    // The whole pass. False when the dump could not be opened (that has been shown, and
    // nothing else changed); true otherwise, also after an abort. Whatever fails inside
    // (a write, a read, memory) counts as an error of the pass; its count in `work` and
    // its progress claim are given back however the pass ends.
    bool Run();

    // For tests: smaller read blocks, and CSV opening retries without real sleeping.
    void set_read_block_size(std::size_t size) { read_block_size_ = size > 0 ? size : 1; }
    void set_csv_wait(CsvWait wait) { csv_wait_ = std::move(wait); }

    // The outcome, once Run has returned.
    int error_count() const { return error_count_; }
    // The system's code when the dump could not be opened.
    int open_error() const { return open_error_; }
    // Records that did not reach every output they were meant for (a full disk, an InBox
    // that cannot be written): what the tools report as lost output.
    int unwritten_record_count() const { return unwritten_record_count_; }
    // Routes whose map files (GPX, KML) could not all be written.
    int failed_map_count() const { return failed_map_count_; }
    int power_on_count() const { return power_on_count_; }
    bool completed() const { return completed_; }

  private:
    enum class IdMode { NotAsked, AddChosenId, SkipRecordsWithoutId };

    void ReadDump(File& dump, std::int64_t length);
    void FeedSegment(const char* begin, const char* end);
    void HandleFrame(std::string_view content);
    bool DecodeRecordWithoutId(std::string_view content, MRVMessage& m);
    bool HasLocalMidnight(const MRVMessage& m);
    void AddToRoute(MRVMessage& m);
    void UpdateProgress(std::int64_t bytes_read, std::int64_t length);
    void FinalWrite();
    void InsertSummary();
    std::uint32_t ReleaseClaim();
    void ReleaseProgress();
    void LeavePassCount();

    const Settings settings_;
    const std::string dump_path_;
    WorkState& work_;
    DecodingHost& host_;
    const Clock& clock_;
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
    int power_on_count_ = 0;
    int claim_bit_ = ProgressClaims::kNoClaim;
    bool claimed_ = false;
    bool owned_bar_ = false;
    bool completed_ = true;
    bool counted_ = false;  // in work_.decoding_pass_count

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

// Runs a pass on a thread of its own, as the window and the reading thread start them,
// and returns at once. The thread shares only `busy` and `host` with its starter; both
// must outlive it: the starter waits until `busy.decoding_threads` is 0 before it lets
// them go (the pass itself leaves BusyState::IsBusy() a moment before its thread ends).
// The pass copies the settings and the path before this returns.
void StartDecodingPass(const Settings& settings, std::string dump_path, WorkState& work,
                       DecodingHost& host);

}  // namespace korvalen
