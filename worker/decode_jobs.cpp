// The job owner at work: captures recorded before their acknowledgement, jobs run on their
// threads, and whatever an earlier run left finished at the start.
#include "worker/decode_jobs.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "decode/decoding_pass.h"
#include "output/staged_delivery.h"
#include "platform/crash_point.h"
#include "platform/scope_exit.h"
#include "platform/string_printf.h"
#include "worker/dump_file.h"
#include "worker/progress_share.h"

namespace korvalen {
namespace {

// The log list's lines of the road, above the pass's summary.
constexpr const char* kRedoLine = "Восстановление: файл '%s' не был доставлен в InBox, декодируется заново";
constexpr const char* kPublishedLine = "Восстановление: файлы декодирования '%s' доставлены в InBox";
constexpr const char* kNotPublishedLine =
    "Восстановление: файлы декодирования '%s' не удалось переместить в InBox (код ошибки %i)";
constexpr const char* kUndeliveredLine =
    "Файлы не доставлены в InBox: '%s' будет декодирован заново при следующем запуске или "
    "командой \"Декодировать отложенные файлы\"";
constexpr const char* kGoneLine = "Файл '%s' не найден: он не будет декодирован";
// A transfer that ended short of its size was not acknowledged: the reader keeps it.
constexpr const char* kCutLine =
    "Передача прервана: получено %lld из %lld байт; данные остались в считывателе и придут "
    "при следующем считывании";
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

}  // namespace

// One job as it goes onto its thread, with what its lines in the log list and the read
// log need.
struct DecodeJobs::JobRun {
    RoadJob job;
    std::optional<CaptureReport> capture;
    std::vector<std::string> notes;  // log-list lines above the pass's summary
};

// The pass's side of a job: its progress on the shared bar, the window's state around it,
// and its steps in the journal.
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

    void Staging(const std::string& staging, const std::string& inbox) override {
        job_.staging = staging;
        job_.inbox = inbox;
        jobs_.Journal(job_);
    }
    void CsvOpened(const std::string& path, std::int64_t length) override {
        job_.csv.push_back({path, length});
        jobs_.Journal(job_);
    }
    bool Commit() override {
        job_.state = JobState::Committed;
        // Without a journal there is nothing to finish after a crash: deliver now.
        return !jobs_.journal_.is_open() || jobs_.journal_.Put(job_);
    }

  private:
    DecodeJobs& jobs_;
    RoadJob& job_;
    ProgressShare share_;
    bool started_ = false;
};

DecodeJobs::DecodeJobs(const std::string& data_folder, const Settings& settings, WorkerHost& host,
                       const Clock& clock)
    : host_(host),
      clock_(clock),
      journal_(data_folder),
      archive_(data_folder + "Archive" + SeparatorOf(data_folder)),
      read_log_(data_folder, clock),
      settings_(settings) {
    journal_.Open();
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

bool DecodeJobs::Journal(const RoadJob& job) {
    return journal_.is_open() && journal_.Put(job);
}

std::optional<CaptureDump> DecodeJobs::BeginCapture(int& error_code, std::string& in_file) {
    in_file = settings().InFile;
    std::optional<File> file = OpenDumpFile(in_file, error_code, [this](const std::string& path) {
        return journal_.HoldsDump(path);
    });
    if (!file)
        return std::nullopt;
    CaptureDump dump;
    dump.path = file->path();
    dump.file = std::move(*file);
    const CalendarTime now = clock_.LocalNow();
    dump.job_id = journal_.NewJobId(now);
    const RoadJob job =
        NewJob(dump.job_id, JobState::Capturing, DumpKind::Cut, ReadAtName(now), dump.path);
    dump.journalled = Journal(job);
    CrashPoint("capturing");
    return dump;
}

bool DecodeJobs::CaptureEnded(const CaptureDump& dump, const CaptureReport& report) {
    // A new dump's name must be on the disk as well as its bytes.
    SyncFolder(FolderOfPath(dump.path));
    RoadJob job = journal_.Find(dump.job_id)
                      .value_or(NewJob(dump.job_id, JobState::Pending, DumpKind::Cut,
                                       ReadAtName(clock_.LocalNow()), dump.path));
    job.state = JobState::Pending;
    job.kind = report.size_met && report.header ? *report.header : DumpKind::Cut;
    const bool recorded = dump.journalled && Journal(job);
    CrashPoint("pending");
    return recorded && report.dump_written;
}

void DecodeJobs::DecodeCaptured(const CaptureDump& dump, const CaptureReport& report) {
    CrashPoint("acknowledged");
    const DumpKind kind = report.size_met && report.header ? *report.header : DumpKind::Cut;
    RoadJob job = journal_.Find(dump.job_id)
                      .value_or(NewJob(dump.job_id, JobState::Pending, kind,
                                       ReadAtName(clock_.LocalNow()), dump.path));
    if (listener_)
        listener_->CaptureEnded(report);
    JobRun run{.job = std::move(job), .capture = report, .notes = {}};
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
    // A dump that waits to be delivered is that job's: decoding it as a new job would
    // deliver its records, and the waiting job would deliver them again.
    for (RoadJob& waiting : journal_.Jobs()) {
        bool running = false;
        {
            std::lock_guard lock(mutex_);
            running = running_.count(waiting.id) != 0;
        }
        if (waiting.dump == path && !running && waiting.state != JobState::Committed) {
            std::vector<JobRun> runs;
            runs.push_back({.job = Redo(std::move(waiting)), .capture = {}, .notes = {}});
            StartJobs(std::move(runs));
            return;
        }
    }
    RoadJob job =
        NewJob(journal_.NewJobId(clock_.LocalNow()), JobState::Pending, DumpKind::File, "", path);
    Journal(job);
    std::vector<JobRun> runs;
    runs.push_back({.job = std::move(job), .capture = {}, .notes = {}});
    StartJobs(std::move(runs));
}

void DecodeJobs::Recover() {
    FinishPending(true);
}

int DecodeJobs::DecodePending() {
    return FinishPending(false);
}

int DecodeJobs::PendingCount() const {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const RoadJob& job : journal_.Jobs()) {
        if (!running_.count(job.id))
            ++count;
    }
    return count;
}

int DecodeJobs::FinishPending(bool at_start) {
    if (!journal_.is_open() && !journal_.Open())
        return 0;
    std::vector<RoadJob> jobs = journal_.TakeOverAbandoned();
    for (RoadJob& own : journal_.Jobs()) {
        if (std::none_of(jobs.begin(), jobs.end(), [&](const RoadJob& j) { return j.id == own.id; }))
            jobs.push_back(std::move(own));
    }
    {
        std::lock_guard lock(mutex_);
        std::erase_if(jobs, [&](const RoadJob& j) { return running_.count(j.id) != 0; });
    }
    // Staging folders that no job names and nobody holds: a pass ended without
    // finishing before its job knew of the folder, or a tool's pass was stopped. Before
    // any job starts, so that no folder of a pass of this run can be among them.
    std::vector<std::string> named;
    named.reserve(jobs.size());
    for (const RoadJob& job : jobs)
        named.push_back(job.staging);
    for (const std::string& folder : AbandonedStagingFolders(settings().InboxDir)) {
        bool running = false;
        {
            std::lock_guard lock(mutex_);
            for (const std::string& id : running_)
                running = running || folder.find(id) != std::string::npos;
        }
        if (!running && std::find(named.begin(), named.end(), folder) == named.end())
            RemoveStagingFolder(folder);
    }
    if (at_start)
        archive_.Prune();

    std::vector<JobRun> runs;
    for (RoadJob& job : jobs) {
        if (job.state == JobState::Committed) {
            // The pass had written every file: only the moves were left.
            const PublishResult published = job.staging.empty()
                                                ? PublishResult{}
                                                : PublishStagingFolder(job.staging, job.inbox);
            if (published.ok()) {
                journal_.Remove(job.id);
                host_.InsertLogLineAtTop(StringPrintf(kPublishedLine, job.dump.c_str()));
                read_log_.Append("восстановление " + job.dump + StringPrintf(
                                     ": файлы доставлены в InBox (%d)", published.moved));
            } else {
                host_.InsertLogLineAtTop(
                    StringPrintf(kNotPublishedLine, job.dump.c_str(), published.error_code));
            }
            continue;
        }
        const bool cut_by_the_end = job.state == JobState::Capturing;
        job = Redo(std::move(job));
        read_log_.Append("восстановление " + job.dump +
                         (cut_by_the_end ? ": считывание было прервано, дамп декодируется"
                                         : ": не был доставлен, декодируется заново"));
        JobRun run{.job = job, .capture = {}, .notes = {}};
        run.notes.push_back(StringPrintf(kRedoLine, job.dump.c_str()));
        runs.push_back(std::move(run));
    }
    const int count = static_cast<int>(runs.size());
    if (!runs.empty())
        StartJobs(std::move(runs));
    return count;
}

// Captured or decoded only in part: the pass is done again from the start, with what it
// had written taken back first.
RoadJob DecodeJobs::Redo(RoadJob job) {
    for (const CsvFileMark& csv : job.csv)
        CutBackCsvFile(csv);
    if (!job.staging.empty())
        RemoveStagingFolder(job.staging);
    if (job.state == JobState::Capturing)
        job.kind = DumpKind::Cut;
    job.state = JobState::Pending;
    job.staging.clear();
    job.inbox.clear();
    job.csv.clear();
    Journal(job);
    return job;
}

void DecodeJobs::StartJobs(std::vector<JobRun> runs) {
    {
        std::lock_guard lock(mutex_);
        for (const JobRun& run : runs)
            running_.insert(run.job.id);
    }
    work_.decoding_threads.fetch_add(1);
    std::thread([this, runs = std::move(runs)]() mutable {
        for (JobRun& run : runs) {
            try {
                RunJob(run);
            } catch (...) {
                // What reaches this far (the host failing while it shows the end) ends
                // the job quietly; the journal keeps what is not finished.
            }
            std::lock_guard lock(mutex_);
            running_.erase(run.job.id);
        }
        // Nothing of the owner's is touched once the count has fallen.
        std::lock_guard lock(mutex_);
        work_.decoding_threads.fetch_sub(1);
        threads_ended_.notify_all();
    }).detach();
}

void DecodeJobs::Archive(RoadJob& job) {
    if (job.kind == DumpKind::File || !job.archive.empty())
        return;
    int code = 0;
    if (auto kept = archive_.Keep(job.dump, ArchiveName(job.read_at, DumpKindName(job.kind)),
                                  code)) {
        job.archive = *kept;
        Journal(job);
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
    RoadJob& job = run.job;
    // The transfer is kept first, whatever its pass comes to.
    Archive(job);
    if (run.capture)
        LogCapture(job, run);
    // A dump that has gone since (removed by hand) is decoded from the archive's copy.
    std::string source = job.dump;
    if (!FileExists(source) && !job.archive.empty() && FileExists(job.archive))
        source = job.archive;

    const Settings settings = this->settings();
    DecodingPass pass(settings, source, host_, clock_);
    pass.set_abort(&work_.decoding_abort);
    pass.set_staging_id(job.id);
    bool opened = false;
    const auto pass_start = std::chrono::steady_clock::now();
    int pass_ms = 0;
    {
        PassSide side(*this, job);
        pass.set_progress(&side);
        if (journal_.is_open())
            pass.set_journal(&side);
        opened = pass.Run();
        pass_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - pass_start)
                                       .count());
        for (const std::string& note : run.notes)
            host_.InsertLogLineAtTop(note);
        if (opened && !pass.delivered()) {
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
                           .milliseconds = pass_ms};
    // The read log has the pass's line before anyone hears that the job ended.
    if (opened)
        read_log_.Append(FormatPassLine(outcome));
    if (listener_)
        listener_->JobEnded(outcome, opened);
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
    // for the next start; any other is decoded again from the start.
    if (job.state != JobState::Committed) {
        job.state = JobState::Pending;
        job.staging.clear();
        job.inbox.clear();
        job.csv.clear();
        Journal(job);
    }
}

}  // namespace korvalen
