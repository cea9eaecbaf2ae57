// A decoding pass at work: the dump read in blocks through the frame and marker machines, each
// record handed to its vehicle's route, the final write and the summary.
#include "decode/decoding_pass.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <random>
#include <vector>

#include "decode/dump_record.h"
#include "platform/crash_point.h"
#include "platform/string_printf.h"

namespace korvalen {
namespace {

// The progress bar counts thousands of bytes.
constexpr std::int64_t kBytesPerProgressStep = 1000;

bool DateInRange(const MRVMessage& m) {
    return m.Year >= 1970 && m.Year <= 3000 && m.Month >= 1 && m.Month <= 12 && m.Day >= 1 &&
           m.Day <= 31;
}

// A staging folder's name of its own: the time and a random number, so that passes of
// other processes in the same InBox never meet.
std::string NewStagingId(const Clock& clock) {
    static std::atomic<unsigned> counter{0};
    static const unsigned process_part = std::random_device()();
    const CalendarTime t = clock.LocalNow();
    return StringPrintf("%04d%02d%02d-%02d%02d%02d-%08x-%u", t.year, t.month, t.day, t.hour,
                        t.minute, t.second, process_part, counter.fetch_add(1));
}

}  // namespace

DecodingPass::DecodingPass(const Settings& settings, std::string dump_path, Operator& host,
                           const Clock& clock)
    : settings_(settings), dump_path_(std::move(dump_path)), host_(host), clock_(clock) {}

DecodingPass::~DecodingPass() = default;

bool DecodingPass::Run() {
    File dump;
    if (!dump.Open(dump_path_, OpenMode::OpenExisting, Sharing::Shared, /*read_only=*/true)) {
        open_error_ = dump.error_code();
        host_.ShowMessage("Анализ файла: Не удалось открыть файл.\n" + dump_path_, kProgramCaption,
                          MessageIcon::Stop);
        return false;
    }
    if (progress_)
        progress_->Started();
    if (abort_)
        abort_->Reset();
    if (staging_id_.empty())
        staging_id_ = NewStagingId(clock_);
    delivery_ =
        std::make_unique<StagedDelivery>(settings_.InboxDir, staging_id_, journal_ != nullptr);
    // Named before it is made: a folder the journal does not know could never be finished.
    if (journal_ && !journal_->Staging(delivery_->folder(), delivery_->inbox()))
        journal_failed_ = true;
    // A folder that cannot be made shows as the files that cannot be opened in it.
    delivery_->Prepare();
    try {
        ReadDump(dump, dump.Length());
    } catch (...) {
        // The dump went away under the pass (a removed medium), or memory ran out: what
        // was read is still written and summarised, and the failure shows as an error.
        ++error_count_;
    }
    try {
        FinalWrite();
        Deliver();
    } catch (...) {
        ++error_count_;  // the files are closed by now; what is not delivered stays staged
    }
    try {
        Summarise();
    } catch (...) {
        ++error_count_;  // the summary may be cut short
    }
    return true;
}

// The dump is read in large blocks and fed to the byte-wise state machines from memory.
// Each block is walked in segments that end at the next thousand bytes, where the pass
// looks at the abort event and the progress bar, as often as the bar can move.
void DecodingPass::ReadDump(File& dump, std::int64_t length) {
    std::vector<char> block(read_block_size_);
    std::size_t block_size = 0;
    std::size_t at = 0;
    std::int64_t bytes_read = 0;
    while (bytes_read < length) {
        if (abort_ && abort_->IsSet()) {
            completed_ = false;
            break;
        }
        if (at == block_size) {
            const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(
                static_cast<std::int64_t>(block.size()), length - bytes_read));
            block_size = dump.Read(block.data(), wanted);
            at = 0;
            decoding_time_valid_ = false;  // the records of a block share their decoding time
            if (block_size == 0)
                break;  // the file became shorter meanwhile
        }
        const auto to_step =
            static_cast<std::size_t>(kBytesPerProgressStep - bytes_read % kBytesPerProgressStep);
        const std::size_t end = std::min(block_size, at + to_step);
        FeedSegment(block.data() + at, block.data() + end, bytes_read);
        bytes_read += static_cast<std::int64_t>(end - at);
        at = end;
        if (progress_)
            progress_->Advanced(bytes_read, length);
    }
}

// Both machines see every byte, the marker machine first. Each runs over the whole
// segment in its own scan; the markers found are applied in stream order, before the
// record of any frame that closes after them.
void DecodingPass::FeedSegment(const char* begin, const char* end, std::int64_t offset) {
    marker_ends_.clear();
    for (const char* p = begin; p < end;) {
        bool found = false;
        p = markers_.Feed(p, end, found);
        if (found)
            marker_ends_.push_back(p);
    }
    std::size_t next_marker = 0;
    const auto apply_markers_before = [&](const char* position) {
        for (; next_marker < marker_ends_.size() && marker_ends_[next_marker] < position;
             ++next_marker) {
            if (settings_.ResetAlarm)
                power_on_pending_ = true;
        }
    };
    for (const char* p = begin; p < end;) {
        bool frame_ready = false;
        p = frames_.Feed(p, end, frame_ready);
        if (frame_ready) {
            apply_markers_before(p);
            HandleFrame(frames_.frame(),
                        DeliveredBefore(offset + (p - begin), frames_.frame().size()));
        }
    }
    if (next_marker < marker_ends_.size() && settings_.ResetAlarm)
        power_on_pending_ = true;
}

bool DecodingPass::DeliveredBefore(std::int64_t end, std::size_t size) const {
    // ">content<"
    const std::int64_t start = end - static_cast<std::int64_t>(size) - 2;
    return std::any_of(
        delivered_before_.begin(), delivered_before_.end(),
        [&](const DeliveredRange& range) { return start >= range.from && end <= range.to; });
}

void DecodingPass::HandleFrame(std::string_view content, bool delivered_before) {
    MRVMessage m;
    if (HasIdSuffix(content.size())) {
        if (!CheckAndDecodeRecord(content, m))
            return;
    } else if (!DecodeRecordWithoutId(content, m)) {
        return;
    }
    // "PPS" records have no date and end here.
    if (!DateInRange(m) || !HasLocalMidnight(m))
        return;
    if (!decoding_time_valid_) {
        decoded_utc_ = ToOleDate(clock_.UtcNow());
        decoded_local_ = ToOleDate(clock_.LocalNow());
        decoding_time_valid_ = true;
    }
    m.DecodedUtc = decoded_utc_;
    m.DecodedLocal = decoded_local_;
    m.NoPosition = (m.FixMode == 0 && !settings_.Use2D) || m.Validity == 0 || m.FixMode == 2;
    AddToRoute(m, delivered_before);
}

// A record without ID is skipped or given the chosen ID, as the user answered the first
// time one was met.
bool DecodingPass::DecodeRecordWithoutId(std::string_view content, MRVMessage& m) {
    if (!CheckRecord(content))
        return false;
    if (id_mode_ == IdMode::NotAsked) {
        if (host_.AskYesNo(kRecordsWithoutIdQuestion)) {
            id_mode_ = IdMode::AddChosenId;
            chosen_id_ = host_.PromptObjectId();
        } else {
            id_mode_ = IdMode::SkipRecordsWithoutId;
        }
    }
    if (id_mode_ == IdMode::SkipRecordsWithoutId)
        return false;
    record_with_id_.assign(content);
    record_with_id_ += kIdSuffixTag;
    record_with_id_ += chosen_id_;
    if (!HasIdSuffix(record_with_id_.size()))
        return false;  // the chosen ID is not four characters long
    DecodeRecord(record_with_id_, 0, 0, m);
    return true;
}

// A date the C library cannot place (the 31.12.3000 west of UTC, where the Windows
// library ends) cannot be part of a route's date range: such a record is dropped before
// it reaches a route, like any other record with an impossible date.
bool DecodingPass::HasLocalMidnight(const MRVMessage& m) {
    const std::int32_t key = m.Year * 10000 + m.Month * 100 + m.Day;  // the date is in range
    KnownDate& known = known_dates_[static_cast<std::size_t>(key) % known_dates_.size()];
    if (known.key != key) {
        known.key = key;
        known.has_midnight = LocalMidnight(m.Year, m.Month, m.Day).has_value();
    }
    return known.has_midnight;
}

void DecodingPass::AddToRoute(MRVMessage& m, bool delivered_before) {
    const auto index = routes_.Find(m.ObjectID);
    if (power_on_pending_ && m.Validity == 2 && !m.NoPosition) {
        m.PowerUp = true;
        power_on_count_ += delivered_before ? 0 : 1;  // counted with its part already
        power_on_pending_ = false;
    }
    delivered_before_count_ += delivered_before ? 1 : 0;
    if (index) {
        CSpecMRVMessage& route = routes_.at(*index);
        if (!route.WriteHeld(false))
            ++error_count_;
        route.Add(m, delivered_before);
        return;
    }
    CSpecMRVMessage route(
        {.OutputFolder = settings_.InboxDir,
         .StagingFolder = delivery_->folder(),
         .FileNumber = settings_.UseGlobalID ? settings_.GlobalID : m.ObjectID,
         .ObjectID = m.ObjectID,
         .WriteMessageFiles = settings_.WriteMessageFiles,
         .WriteCsvC = settings_.WriteCsvC,
         .WriteCsvN = settings_.WriteCsvN,
         .IndInNum = settings_.IndInNum,
         .IndInStatus = settings_.IndInStatus,
         .IndInChk = settings_.IndInChk,
         .MapFiles = {.folder = settings_.MapDir.empty() ? settings_.InboxDir : settings_.MapDir,
                      .gpx = settings_.WriteGpx,
                      .kml = settings_.WriteKml},
         .DurableFiles = true},
        host_, clock_, csv_wait_);
    // Before a line reaches a CSV file: a pass done again after a crash cuts it back.
    const std::vector<CsvFileMark> marks = route.CsvFiles();
    if (journal_) {
        for (const CsvFileMark& csv : marks)
            journal_failed_ = !journal_->CsvOpened(csv.path, csv.length) || journal_failed_;
    }
    route.Add(m, delivered_before);
    routes_.Append(std::move(route));
    if (!journal_ && !marks.empty() && delivery_->KeepCsvMarks(CsvMarks()) != 0)
        journal_failed_ = true;
}

// Every route writes its last record with the last-record mark and closes its files,
// also after an abort. With buffered output most write failures of a route only show
// when its files are closed here, so they are counted as well.
void DecodingPass::FinalWrite() {
    for (CSpecMRVMessage& route : routes_) {
        if (!route.WriteHeld(true))
            ++error_count_;
        unwritten_record_count_ += route.UnwrittenRecords();
        failed_map_count_ += route.MapFilesFailed() ? 1 : 0;
        failed_file_count_ += route.FailedFiles();
    }
}

// The files reach the InBox together or not at all: a dispatcher that took some of them
// would have the routes of a dump only in part, and the dump decoded again would give it
// those records twice. A file that could not be opened counts as an error of the pass.
void DecodingPass::Deliver() {
    error_count_ += failed_file_count_;
    if (failed_file_count_ > 0 || unwritten_record_count_ > 0 || journal_failed_) {
        Undeliver();
        return;
    }
    // A route of records delivered before only has an empty message file: it is no file
    // for the dispatcher.
    for (const CSpecMRVMessage& route : routes_) {
        if (route.RecordCount() == 0 && !route.MessageFileName().empty())
            RemoveFile(route.MessageFileName());
    }
    int code = 0;
    const std::optional<std::vector<StagedFile>> staged = delivery_->Seal(code);
    if (!staged) {
        ++error_count_;
        host_.ShowMessage(StringPrintf("Не удалось записать файл на диск. Код ошибки: %i.\n%s",
                                       code, delivery_->folder().c_str()),
                          kProgramCaption, MessageIcon::Stop);
        Undeliver();
        return;
    }
    CrashPoint("staged");
    const bool committed = journal_ ? journal_->Commit(*staged, CsvMarks())
                                    : delivery_->CommitWithoutJournal(*staged) == 0;
    if (!committed) {
        journal_failed_ = true;
        Undeliver();
        return;
    }
    CrashPoint("committed");
    const PublishResult published = delivery_->Publish(*staged);
    delivered_file_count_ = published.moved;
    // What is left in the staging folder is the journal's to move at the next start.
    failed_file_count_ += published.failed;
    error_count_ += published.failed;
    delivered_ = published.ok();
    if (!delivered_) {
        host_.ShowMessage(
            StringPrintf("Не удалось переместить файл в папку InBox. Код ошибки: %i.\n%s",
                         published.error_code, published.failed_path.c_str()),
            kProgramCaption, MessageIcon::Stop);
    }
}

std::vector<CsvFileMark> DecodingPass::CsvMarks() const {
    std::vector<CsvFileMark> marks;
    for (const CSpecMRVMessage& route : routes_) {
        for (CsvFileMark& mark : route.CsvFiles())
            marks.push_back(std::move(mark));
    }
    return marks;
}

void DecodingPass::Undeliver() {
    delivery_->Discard();
    for (const CsvFileMark& csv : CsvMarks()) {
        if (CutBackCsvFile(csv) != CsvCutBack::Done)
            csv_not_cut_back_.push_back(csv);
    }
    for (const CSpecMRVMessage& route : routes_)
        unwritten_record_count_ += route.RecordCount() - route.UnwrittenRecords();
    delivered_ = false;
}

int DecodingPass::route_count() const {
    return static_cast<int>(
        std::count_if(routes_.begin(), routes_.end(),
                      [](const CSpecMRVMessage& r) { return r.RecordCount() > 0; }));
}

int DecodingPass::point_count() const {
    int points = 0;
    for (const CSpecMRVMessage& route : routes_)
        points += route.PointCount();
    return points;
}

void DecodingPass::Summarise() {
    finished_at_ = clock_.LocalNow();
    for (const CSpecMRVMessage& route : routes_) {
        std::string line = route.FormatRouteStatistics();
        if (!line.empty())
            route_lines_.push_back(std::move(line));
    }
}

PassOutcome DecodingPass::outcome() const {
    PassOutcome outcome;
    outcome.dump = dump_path_;
    outcome.completed = completed_;
    outcome.errors = error_count_;
    outcome.power_ons = power_on_count_;
    outcome.route_lines = route_lines_;
    outcome.finished_at = finished_at_;
    outcome.objects = route_count();
    outcome.points = point_count();
    outcome.delivered_files = delivered_file_count_;
    outcome.delivered = delivered_;
    outcome.delivered_before = delivered_before_count_;
    return outcome;
}

}  // namespace korvalen
