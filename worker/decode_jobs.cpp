// The job owner at work: captures recorded before their acknowledgement, jobs run on their
// threads, and whatever an earlier run left finished at the start.
#include "worker/decode_jobs.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <thread>

#include "decode/decoding_pass.h"
#include "decode/reply_header.h"
#include "output/staged_delivery.h"
#include "platform/crash_point.h"
#include "platform/scope_exit.h"
#include "platform/string_printf.h"
#include "worker/delivered_part.h"
#include "worker/dump_file.h"
#include "worker/progress_share.h"

namespace korvalen {
namespace {

// The log list's lines of the road, above the pass's summary.
constexpr const char* kRedoLine =
    "Восстановление: файл '%s' не был доставлен в InBox, декодируется заново";
constexpr const char* kPublishedLine =
    "Восстановление: файлы декодирования '%s' доставлены в InBox";
constexpr const char* kNotPublishedLine =
    "Восстановление: файлы декодирования '%s' не удалось переместить в InBox (код ошибки %i)";
constexpr const char* kUndeliveredLine =
    "Файлы не доставлены в InBox: '%s' будет декодирован заново при следующем запуске или "
    "командой \"Декодировать отложенные файлы\"";
constexpr const char* kGoneLine = "Файл '%s' не найден: он не будет декодирован";
constexpr const char* kJournalUnreadableLine =
    "Журнал в папке Data не удалось прочитать (%s): отложенные файлы ждут следующего запуска";
constexpr const char* kJournalNotWrittenLine =
    "Файлы не доставлены в InBox: журнал в папке Data не удалось записать (%s)";
constexpr const char* kCsvKeptLine =
    "Файл '%s' ждет: CSV-файл '%s' не удалось вернуть к длине до декодирования (%s)";
constexpr const char* kHeldElsewhereLine =
    "Файл '%s' ожидает доставки другой программой и будет доставлен ею";
constexpr const char* kSweptKeptLine =
    "CSV-файл '%s' не удалось вернуть к длине до декодирования: папка декодирования оставлена";
// A transfer that ended short of its size was not acknowledged: the reader keeps it and
// sends it again, and what this part delivers is left out then.
constexpr const char* kCutLine =
    "Передача прервана: получено %lld из %lld байт; полученное доставлено, остальное придет "
    "при следующем считывании";
// A transfer that began with the part an earlier one delivered.
constexpr const char* kDeliveredBeforeLine = "Уже доставлено при прошлом считывании: записей %d";
// A complete transfer of new data that was not acknowledged because its dump or the
// journal could not be put onto the disk.
constexpr const char* kUnacknowledgedLine =
    "Передача не подтверждена: файл считывания или журнал в папке Data не удалось записать "
    "на диск; данные остались в считывателе и придут при следующем считывании";
constexpr const char* kHeaderlessLine =
    "Передача без заголовка: получено %lld байт; данные остались в считывателе и придут при "
    "следующем считывании";

std::string ReadAtName(const CalendarTime& t) {
    return StringPrintf("%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                        t.second);
}

RoadJob NewJob(std::string id, JobState state, DumpKind kind, std::string read_at,
               std::string dump) {
    RoadJob job;
    job.id = std::move(id);
    job.state = state;
    job.kind = kind;
    job.read_at = std::move(read_at);
    job.dump = std::move(dump);
    return job;
}

char SeparatorOf(const std::string& folder) {
    return !folder.empty() && folder.back() == '/' ? '/' : '\\';
}

// The code a message about the journal shows: the system's, or the one of a damaged file.
int JournalSystemCode(int code) {
    return code > 0 ? code : DamagedFileErrorCode();
}

std::string CutBackText(CsvCutBack result, int code) {
    return result == CsvCutBack::Appended ? "в него уже записаны строки другого декодирования"
                                          : StringPrintf("код ошибки %i", code);
}

}  // namespace

// One job as it goes onto its thread, with what its lines in the log list and the read
// log need.
struct DecodeJobs::JobRun {
    RoadJob job;
    std::optional<CaptureReport> capture;
    std::vector<std::string> notes;     // log-list lines above the pass's summary
    bool journalled = true;             // the journal knows the job
    bool recovered = false;             // left over: what it wrote is taken back first
    std::optional<std::uint64_t> turn;  // a transfer's, among the transfers of new data
};

// The pass's side of a job: its progress on the shared bar, the window's state around it,
// and its steps in the journal, each made on the job as the journal has it.
class DecodeJobs::PassSide final : public PassProgress, public PassJournal {
  public:
    PassSide(DecodeJobs& jobs, RoadJob& job)
        : jobs_(jobs), job_(job), share_(jobs.work_.progress, jobs.host_) {}

    // Whatever ended the pass, the bar, the count and the window's state are given back.
    ~PassSide() {
        if (!started_)
            return;
        try {
            if (share_.Release() == 0) {
                jobs_.host_.SetProgressPosition(0);
                jobs_.host_.SetActionButtonCaption(kDecodeCaption);
            }
        } catch (...) {
        }
        jobs_.work_.decoding_pass_count.fetch_sub(1);
        try {
            jobs_.host_.SetUiState(UiState::Ready);
        } catch (...) {
        }
    }
    PassSide(const PassSide&) = delete;
    PassSide& operator=(const PassSide&) = delete;

    void Started() override {
        started_ = true;
        jobs_.work_.decoding_pass_count.fetch_add(1);
        jobs_.host_.SetActionButtonCaption(kAbortCaption);
        // The state that follows shows "Считывание" in its place: the window is busy,
        // whichever worker keeps it so.
        jobs_.host_.SetStatusText(kDecodingStatus);
        jobs_.host_.SetUiState(UiState::Busy);
    }
    void Advanced(std::int64_t bytes_read, std::int64_t length) override {
        share_.ShowPass(bytes_read, length);
    }

    bool Staging(const std::string& staging, const std::string& inbox) override {
        job_.staging = staging;
        job_.inbox = inbox;
        return Record([&](RoadJob& job) {
            job.staging = staging;
            job.inbox = inbox;
        });
    }
    bool CsvOpened(const std::string& path, std::int64_t length) override {
        job_.csv.push_back({path, length, -1});
        return Record([&](RoadJob& job) { job.csv.push_back({path, length, -1}); });
    }
    bool Commit(const std::vector<StagedFile>& files,
                const std::vector<CsvFileMark>& csv) override {
        if (!Record([&](RoadJob& job) {
                job.state = JobState::Committed;
                job.files = files;
                job.csv = csv;
            })) {
            return false;
        }
        job_.state = JobState::Committed;
        job_.files = files;
        job_.csv = csv;
        return true;
    }

    // The first reason a step could not be recorded; 0 when every one was.
    int failure() const { return failure_; }

  private:
    bool Record(const std::function<void(RoadJob&)>& edit) {
        const int code = jobs_.journal_.Change(job_.id, edit);
        if (code != 0 && failure_ == 0)
            failure_ = code;
        return code == 0;
    }

    DecodeJobs& jobs_;
    RoadJob& job_;
    ProgressShare share_;
    bool started_ = false;
    int failure_ = 0;
};

DecodeJobs::DecodeJobs(const std::string& data_folder, const Settings& settings, WorkerHost& host,
                       const Clock& clock)
    : host_(host),
      clock_(clock),
      journal_(data_folder),
      archive_(data_folder + "Archive" + SeparatorOf(data_folder)),
      read_log_(data_folder, clock),
      settings_(settings) {
    if (const int code = journal_.Open(); code != 0)
        read_log_.Append("журнал: " + JournalErrorText(code));
}

DecodeJobs::~DecodeJobs() {
    std::unique_lock lock(mutex_);
    threads_ended_.wait(lock, [this] { return work_.decoding_threads.load() == 0; });
}

void DecodeJobs::SetSettings(const Settings& settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
}

Settings DecodeJobs::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

bool DecodeJobs::WaitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return threads_ended_.wait_for(lock, timeout,
                                   [this] { return work_.decoding_threads.load() == 0; });
}

bool DecodeJobs::IsRunning(const std::string& id) const {
    std::lock_guard lock(mutex_);
    return running_.count(id) != 0;
}

std::optional<CaptureDump> DecodeJobs::BeginCapture(int& error_code, std::string& in_file) {
    in_file = settings().InFile;
    // The dumps not yet delivered, read once: a journal that cannot be read could hide
    // one that the new capture would cut.
    std::vector<RoadJob> waiting;
    int code = journal_.is_open() ? journal_.ReadAll(waiting) : kJournalClosed;
    const auto refuse = [&](int reason) {
        read_log_.Append("считывание не начато: " + JournalErrorText(reason));
        error_code = JournalSystemCode(reason);
        in_file = journal_.folder() + "Korvalen.jnl";
        return std::nullopt;
    };
    if (code != 0)
        return refuse(code);
    std::optional<File> file = OpenDumpFile(in_file, error_code, [&](const std::string& path) {
        return std::any_of(waiting.begin(), waiting.end(),
                           [&](const RoadJob& job) { return SameFile(job.dump, path); });
    });
    if (!file)
        return std::nullopt;
    CaptureDump dump;
    dump.path = file->path();
    dump.file = std::move(*file);
    const CalendarTime now = clock_.LocalNow();
    dump.job_id = journal_.NewJobId(now);
    code = journal_.Add(
        NewJob(dump.job_id, JobState::Capturing, DumpKind::Cut, ReadAtName(now), dump.path));
    if (code != 0)
        return refuse(code);
    CrashPoint("capturing");
    return dump;
}

bool DecodeJobs::CaptureEnded(const CaptureDump& dump, const CaptureReport& report) {
    // A new dump's name must be on the disk as well as its bytes.
    int code = SyncFolder(FolderOfPath(dump.path));
    if (code == 0) {
        const DumpKind kind = report.size_met && report.header ? *report.header : DumpKind::Cut;
        // Where the payload begins: after whatever came before the header.
        const std::optional<std::int64_t> size =
            report.header && report.dump_written ? FileSize(dump.path) : std::nullopt;
        code = journal_.Change(dump.job_id, [&](RoadJob& job) {
            job.state = JobState::Pending;
            job.kind = kind;
            if (size && *size >= report.received)
                job.payload_start = *size - report.received;
        });
    }
    if (code != 0)
        read_log_.Append("дамп " + dump.path + " не записан в журнал: " + JournalErrorText(code));
    CrashPoint("pending");
    return code == 0 && report.dump_written;
}

void DecodeJobs::DecodeCaptured(const CaptureDump& dump, const CaptureReport& report) {
    CrashPoint("acknowledged");
    const DumpKind kind = report.size_met && report.header ? *report.header : DumpKind::Cut;
    std::optional<RoadJob> journalled = journal_.Find(dump.job_id);
    RoadJob job = journalled.value_or(
        NewJob(dump.job_id, JobState::Pending, kind, ReadAtName(clock_.LocalNow()), dump.path));
    if (listener_)
        listener_->CaptureEnded(report);
    JobRun run{.job = std::move(job),
               .capture = report,
               .notes = {},
               .journalled = journalled.has_value(),
               .recovered = false,
               .turn = {}};
    if (report.size_met && report.header == DumpKind::NewData && report.announced > 0 &&
        !report.acknowledged) {
        run.notes.push_back(kUnacknowledgedLine);
    }
    if (!report.size_met) {
        run.notes.push_back(
            report.header ? StringPrintf(kCutLine, static_cast<long long>(report.received),
                                         static_cast<long long>(report.announced))
                          : StringPrintf(kHeaderlessLine, static_cast<long long>(report.received)));
    }
    std::vector<JobRun> runs;
    runs.push_back(std::move(run));
    StartJobs(std::move(runs));
}

void DecodeJobs::DecodeFile(const std::string& path) {
    // A dump that a waiting job holds is that job's: decoding it as a new job would
    // deliver its records, and the waiting job would deliver them again.
    std::vector<RoadJob> jobs;
    if (journal_.is_open() && journal_.ReadAll(jobs) == 0) {
        for (RoadJob& waiting : jobs) {
            if (!SameFile(waiting.dump, path) &&
                (waiting.archive.empty() || !SameFile(waiting.archive, path))) {
                continue;
            }
            if (IsRunning(waiting.id))
                return;  // it is being decoded now
            if (waiting.owner != journal_.session()) {
                std::vector<RoadJob> taken;
                journal_.TakeOverAbandoned(taken);
                if (std::none_of(taken.begin(), taken.end(),
                                 [&](const RoadJob& j) { return j.id == waiting.id; })) {
                    host_.InsertLogLineAtTop(StringPrintf(kHeldElsewhereLine, path.c_str()));
                    return;
                }
            }
            std::vector<JobRun> runs;
            runs.push_back(Recovered(std::move(waiting)));
            StartJobs(std::move(runs));
            return;
        }
    }
    // A file of the user's own: without a journal it is decoded all the same, as the
    // tools decode it (the user can decode it again).
    RoadJob job =
        NewJob(journal_.NewJobId(clock_.LocalNow()), JobState::Pending, DumpKind::File, "", path);
    const bool journalled = journal_.is_open() && journal_.Add(job) == 0;
    std::vector<JobRun> runs;
    runs.push_back({.job = std::move(job),
                    .capture = {},
                    .notes = {},
                    .journalled = journalled,
                    .recovered = false,
                    .turn = {}});
    StartJobs(std::move(runs));
}

void DecodeJobs::Recover() {
    FinishPending(true);
}

int DecodeJobs::DecodePending() {
    return FinishPending(false);
}

int DecodeJobs::PendingCount() const {
    std::vector<RoadJob> mine;
    if (journal_.Jobs(mine) != 0)
        return 0;
    int count = 0;
    for (const RoadJob& job : mine)
        count += IsRunning(job.id) ? 0 : 1;
    return count;
}

DecodeJobs::JobRun DecodeJobs::Recovered(RoadJob job) {
    JobRun run{.job = std::move(job),
               .capture = {},
               .notes = {},
               .journalled = true,
               .recovered = true,
               .turn = {}};
    return run;
}

int DecodeJobs::FinishPending(bool at_start) {
    if (!journal_.is_open()) {
        if (const int code = journal_.Open(); code != 0) {
            host_.InsertLogLineAtTop(
                StringPrintf(kJournalUnreadableLine, JournalErrorText(code).c_str()));
            return 0;
        }
    }
    std::vector<RoadJob> jobs;
    std::vector<RoadJob> own;
    int code = journal_.TakeOverAbandoned(jobs);
    if (code == 0)
        code = journal_.Jobs(own);
    if (code != 0) {
        host_.InsertLogLineAtTop(
            StringPrintf(kJournalUnreadableLine, JournalErrorText(code).c_str()));
        read_log_.Append("восстановление не выполнено: " + JournalErrorText(code));
        return 0;
    }
    for (RoadJob& mine : own) {
        if (std::none_of(jobs.begin(), jobs.end(),
                         [&](const RoadJob& j) { return j.id == mine.id; }))
            jobs.push_back(std::move(mine));
    }
    std::erase_if(jobs, [&](const RoadJob& j) { return IsRunning(j.id); });

    // Staging folders left by passes that keep no journal, and empty ones: a folder with
    // a journalled pass's files is its job's to finish, whichever program's it is.
    for (const std::string& kept : SweepStagingFolders(settings().InboxDir).csv_kept)
        host_.InsertLogLineAtTop(StringPrintf(kSweptKeptLine, kept.c_str()));
    if (at_start)
        archive_.Prune();

    std::vector<JobRun> runs;
    runs.reserve(jobs.size());
    for (RoadJob& job : jobs)
        runs.push_back(Recovered(std::move(job)));
    const int count = static_cast<int>(runs.size());
    if (!runs.empty())
        StartJobs(std::move(runs));
    return count;
}

// Captured or decoded only in part: the pass is done again from the start, with what it
// had written taken back first. A CSV file that cannot be cut back (held by another
// program, or grown by another pass since) stops the redo: its lines would come twice.
bool DecodeJobs::Redo(RoadJob& job) {
    std::vector<RoadJob> others;
    journal_.ReadAll(others);
    for (CsvFileMark mark : job.csv) {
        // Lines that a later job appended after this one's must not go with them.
        for (const RoadJob& other : others) {
            if (other.id == job.id)
                continue;
            for (const CsvFileMark& later : other.csv) {
                if (later.length >= mark.length && SameFile(later.path, mark.path))
                    mark.end = mark.end < 0 ? later.length : std::min(mark.end, later.length);
            }
        }
        int code = 0;
        const CsvCutBack result = CutBackCsvFile(mark, &code);
        if (result != CsvCutBack::Done) {
            const std::string why = CutBackText(result, code);
            host_.InsertLogLineAtTop(
                StringPrintf(kCsvKeptLine, job.dump.c_str(), mark.path.c_str(), why.c_str()));
            read_log_.Append("восстановление " + job.dump + ": CSV-файл " + mark.path +
                             " не возвращен к длине до декодирования (" + why + "), дамп ждет");
            return false;
        }
    }
    if (!job.staging.empty())
        RemoveStagingFolder(job.staging);
    const bool cut_by_the_end = job.state == JobState::Capturing;
    const int code = journal_.Change(job.id, [&](RoadJob& j) {
        if (j.state == JobState::Capturing)
            j.kind = DumpKind::Cut;
        j.state = JobState::Pending;
        j.staging.clear();
        j.inbox.clear();
        j.csv.clear();
        j.files.clear();
    });
    if (code != 0)
        return false;  // finished meanwhile, or the journal cannot be written: it waits
    if (cut_by_the_end)
        job.kind = DumpKind::Cut;
    job.state = JobState::Pending;
    job.staging.clear();
    job.inbox.clear();
    job.csv.clear();
    job.files.clear();
    read_log_.Append("восстановление " + job.dump +
                     (cut_by_the_end ? ": считывание было прервано, дамп декодируется"
                                     : ": не был доставлен, декодируется заново"));
    return true;
}

void DecodeJobs::StartJobs(std::vector<JobRun> runs) {
    {
        std::lock_guard lock(mutex_);
        std::erase_if(runs, [&](const JobRun& run) { return !running_.insert(run.job.id).second; });
        for (JobRun& run : runs) {
            if (run.job.kind != DumpKind::File && run.job.kind != DumpKind::AllData) {
                run.turn = next_turn_++;
                open_turns_.insert(*run.turn);
            }
        }
    }
    if (runs.empty())
        return;
    work_.decoding_threads.fetch_add(1);
    std::thread([this, runs = std::move(runs)]() mutable {
        for (JobRun& run : runs) {
            try {
                RunJob(run);
            } catch (...) {
                // What reaches this far (the host failing while it shows the end) ends
                // the job quietly; the journal keeps what is not finished.
            }
            EndTurn(run);
            std::lock_guard lock(mutex_);
            running_.erase(run.job.id);
        }
        // Nothing of the owner's is touched once the count has fallen.
        std::lock_guard lock(mutex_);
        work_.decoding_threads.fetch_sub(1);
        threads_ended_.notify_all();
    }).detach();
}

void DecodeJobs::EndTurn(JobRun& run) {
    if (!run.turn)
        return;
    {
        std::lock_guard lock(mutex_);
        open_turns_.erase(*run.turn);
    }
    run.turn.reset();
    turn_ended_.notify_all();
}

void DecodeJobs::WorkOutDeliveredPart(JobRun& run) {
    RoadJob& job = run.job;
    if (!run.turn)
        return;
    {
        std::unique_lock lock(mutex_);
        turn_ended_.wait(lock, [&] { return *open_turns_.begin() == *run.turn; });
    }
    if (job.parts_looked_up)
        return;  // worked out before the program ended: the same again
    std::string bytes;
    const std::string source = FileExists(job.dump) || job.archive.empty() ? job.dump : job.archive;
    if (!ReadWholeFile(source, bytes))
        return;
    // The capture knows where its payload began; a dump whose capture the end of the
    // program cut is looked through.
    std::optional<PayloadStart> header = FindPayloadStart(bytes);
    if (job.payload_start >= static_cast<std::int64_t>(kReplyHeaderSize) &&
        job.payload_start <= static_cast<std::int64_t>(bytes.size())) {
        const std::string_view code =
            std::string_view(bytes).substr(static_cast<std::size_t>(job.payload_start) - 10, 2);
        header = PayloadStart{job.payload_start, code == "ND"};
    }
    if (header && !header->new_data)
        return;  // all data: delivered whole, and nothing of it is remembered
    std::optional<std::int64_t> start;
    const auto end = static_cast<std::int64_t>(bytes.size());
    // What came before the header (all of a dump without one) is the rest of a transfer
    // that was under way when the capture began: its records come again with a later one.
    std::int64_t before_header = end;
    if (header) {
        start = header->offset;
        before_header = header->offset - static_cast<std::int64_t>(kReplyHeaderSize);
    }
    // The parts remembered, and those of transfers read before whose files are committed
    // and only wait to be moved.
    std::vector<DeliveredPart> parts;
    std::vector<RoadJob> jobs;
    if (journal_.Parts(parts) != 0 || journal_.ReadAll(jobs) != 0)
        return;
    for (const RoadJob& other : jobs) {
        if (other.id == job.id || other.state != JobState::Committed ||
            other.on_delivery != PartOnDelivery::Keep || other.read_at > job.read_at) {
            continue;
        }
        const std::string dump = other.archive.empty() ? other.dump : other.archive;
        parts.push_back({dump, std::max<std::int64_t>(other.payload_start, 0), other.part_length,
                         other.read_at});
        parts.push_back({dump, 0, other.piece_length, other.read_at});
    }
    const auto covers = [&](std::int64_t from, std::int64_t to) {
        return std::any_of(job.delivered.begin(), job.delivered.end(),
                           [&](const DeliveredRange& r) { return r.from <= from && r.to >= to; });
    };
    // The dump's two stretches of a reader's stream: what came before the header, and the
    // payload after it.
    const std::string_view all(bytes);
    const std::string_view before = all.substr(0, static_cast<std::size_t>(before_header));
    const std::string_view payload =
        start ? all.substr(static_cast<std::size_t>(*start)) : std::string_view();
    const auto add = [&](std::optional<DeliveredRange> range, std::int64_t offset) {
        if (range)
            job.delivered.push_back({offset + range->from, offset + range->to});
        return range;
    };
    // A part held whole in this transfer's payload is remembered with it from now on.
    std::vector<std::string> held_whole;
    for (const DeliveredPart& part : parts) {
        add(SharedStretch(before, part), 0);
        if (const auto range = add(SharedStretch(payload, part), start.value_or(0));
            range && range->to - range->from == part.length) {
            held_whole.push_back(part.dump);
        }
    }
    // Records before the header are delivered from there; the same records in the payload
    // after it are not delivered again.
    add(SharedStretch(payload, before), start.value_or(0));
    // Should the reader send it again, what this transfer delivers is left out then; what
    // an earlier part holds whole adds nothing to remember.
    job.parts_looked_up = true;
    if (start)
        job.payload_start = *start;
    job.part_length = start && !covers(*start, end) ? end - *start : 0;
    job.piece_length = before_header > 0 && !covers(0, before_header) ? before_header : 0;
    job.on_delivery =
        job.part_length > 0 || job.piece_length > 0 ? PartOnDelivery::Keep : PartOnDelivery::None;
    if (job.part_length > 0)
        job.based_on = held_whole;
    if (run.journalled) {
        journal_.Change(job.id, [&](RoadJob& j) {
            j.payload_start = job.payload_start;
            j.parts_looked_up = true;
            j.delivered = job.delivered;
            j.based_on = job.based_on;
            j.on_delivery = job.on_delivery;
            j.part_length = job.part_length;
            j.piece_length = job.piece_length;
        });
    }
}

void DecodeJobs::Archive(RoadJob& job) {
    if (job.kind == DumpKind::File || !job.archive.empty())
        return;
    int code = 0;
    if (auto kept =
            archive_.Keep(job.dump, ArchiveName(job.read_at, DumpKindName(job.kind)), code)) {
        job.archive = *kept;
        journal_.Change(job.id, [&](RoadJob& j) { j.archive = *kept; });
    } else {
        read_log_.Append("архив: не удалось сохранить " + job.dump +
                         StringPrintf(" (код ошибки %i)", code));
    }
    CrashPoint("archived");
}

void DecodeJobs::LogCapture(const RoadJob& job, const JobRun& run) {
    const CaptureReport& report = *run.capture;
    CaptureLine line{.port = report.port,
                     .kind = report.header ? std::string(DumpKindName(*report.header)) : "",
                     .announced = report.announced,
                     .received = report.received,
                     .acknowledgement = report.acknowledgement,
                     .dump = job.dump,
                     .archive = {}};
    if (!job.archive.empty())
        line.archive = job.archive.substr(FolderOfPath(job.archive).size());
    read_log_.Append(FormatCaptureLine(line));
}

void DecodeJobs::RunJob(JobRun& run) {
    if (run.recovered) {
        // The job as the journal has it now: another thread or program may have finished
        // it since it was listed.
        std::optional<RoadJob> now = journal_.Find(run.job.id);
        if (!now)
            return;
        run.job = std::move(*now);
        if (run.job.state == JobState::Committed) {
            DeliverCommitted(run.job);
            return;
        }
        if (!Redo(run.job))
            return;
        run.notes.push_back(StringPrintf(kRedoLine, run.job.dump.c_str()));
    }
    DecodeJob(run);
}

// The pass had written every file and committed them: only the moves were left.
void DecodeJobs::DeliverCommitted(const RoadJob& job) {
    std::vector<StagedFile> files = job.files;
    if (files.empty() && !job.staging.empty()) {
        // Committed by a program that did not yet name its files: those left staged.
        for (const std::string& name : FolderEntries(job.staging)) {
            if (name != "pass.lock")
                files.push_back({name, FileSize(job.staging + name).value_or(0)});
        }
    }
    const PublishResult published =
        job.staging.empty() ? PublishResult{} : DeliverStagedFiles(job.staging, job.inbox, files);
    if (!published.ok()) {
        host_.InsertLogLineAtTop(
            StringPrintf(kNotPublishedLine, job.dump.c_str(), published.error_code));
        read_log_.Append("восстановление " + job.dump +
                         StringPrintf(": файлы не перемещены в InBox (код ошибки %i), ждут",
                                      published.error_code));
        return;
    }
    if (const int code = journal_.Remove(job.id); code != 0) {
        read_log_.Append("восстановление " + job.dump + ": " + JournalErrorText(code));
        return;
    }
    host_.InsertLogLineAtTop(StringPrintf(kPublishedLine, job.dump.c_str()));
    read_log_.Append("восстановление " + job.dump +
                     StringPrintf(": файлы доставлены в InBox (%d)", published.moved));
}

void DecodeJobs::DecodeJob(JobRun& run) {
    RoadJob& job = run.job;
    // The transfer is kept first, whatever its pass comes to.
    Archive(job);
    if (run.capture)
        LogCapture(job, run);
    // A dump that has gone since (removed by hand) is decoded from the archive's copy.
    std::string source = job.dump;
    if (!FileExists(source) && !job.archive.empty() && FileExists(job.archive))
        source = job.archive;

    WorkOutDeliveredPart(run);

    const Settings settings = this->settings();
    DecodingPass pass(settings, source, host_, clock_);
    pass.set_abort(&work_.decoding_abort);
    pass.set_staging_id(job.id);
    pass.set_delivered(job.delivered);
    bool opened = false;
    const auto pass_start = std::chrono::steady_clock::now();
    int pass_ms = 0;
    int journal_failure = 0;
    {
        PassSide side(*this, job);
        pass.set_progress(&side);
        if (run.journalled)
            pass.set_journal(&side);
        opened = pass.Run();
        journal_failure = side.failure();
        pass_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - pass_start)
                                       .count());
        for (const std::string& note : run.notes)
            host_.InsertLogLineAtTop(note);
        if (pass.delivered_before_count() > 0) {
            host_.InsertLogLineAtTop(
                StringPrintf(kDeliveredBeforeLine, pass.delivered_before_count()));
        }
        if (opened && !pass.delivered()) {
            if (journal_failure != 0) {
                host_.InsertLogLineAtTop(StringPrintf(kJournalNotWrittenLine,
                                                      JournalErrorText(journal_failure).c_str()));
            }
            host_.InsertLogLineAtTop(StringPrintf(kUndeliveredLine, job.dump.c_str()));
        }
    }
    const PassLine outcome{.dump = source,
                           .objects = pass.route_count(),
                           .points = pass.point_count(),
                           .power_ons = pass.power_on_count(),
                           .write_errors = pass.error_count(),
                           .delivered_files = pass.delivered_file_count(),
                           .delivered = opened && pass.delivered(),
                           .completed = pass.completed(),
                           .milliseconds = pass_ms,
                           .delivered_before = pass.delivered_before_count()};
    // The read log has the pass's line before anyone hears that the job ended.
    if (opened)
        read_log_.Append(FormatPassLine(outcome));
    if (opened && journal_failure != 0)
        read_log_.Append("журнал: " + JournalErrorText(journal_failure) + ", " + job.dump +
                         " ждет");
    if (listener_)
        listener_->JobEnded(outcome, opened);
    if (!run.journalled)
        return;
    if (!opened) {
        // Nothing can come of the job: the dump is gone (the user's own file, or one
        // removed by hand, with no copy in the archive).
        if (job.kind != DumpKind::File && !FileExists(source))
            host_.InsertLogLineAtTop(StringPrintf(kGoneLine, job.dump.c_str()));
        journal_.Remove(job.id);
        return;
    }
    if (pass.delivered()) {
        journal_.Remove(job.id);
        CrashPoint("done");
        return;
    }
    // Not delivered: a job whose files are all written and committed keeps its moves
    // for the next start; any other is decoded again from the start, and keeps the CSV
    // marks whose lines the pass could not take back, for the redo to take them.
    if (job.state != JobState::Committed) {
        const std::vector<CsvFileMark>& kept = pass.csv_not_cut_back();
        journal_.Change(job.id, [&](RoadJob& j) {
            j.state = JobState::Pending;
            j.staging.clear();
            j.inbox.clear();
            j.files.clear();
            j.csv = kept;
        });
    }
}

}  // namespace korvalen
