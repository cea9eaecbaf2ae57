// The job owner's intake: captures recorded before their acknowledgement, files the user
// chose, and the jobs an earlier run left, each handed to the job runner.
#include "worker/decode_jobs.h"

#include <algorithm>

#include "platform/crash_point.h"
#include "platform/string_printf.h"
#include "worker/dump_file.h"
#include "worker/road_texts.h"

namespace korvalen {
namespace {

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

// Why "(SDD)" went or did not, for the read log.
std::string AcknowledgementText(const CaptureReport& report, bool kept) {
    if (report.acknowledged)
        return "отправлено";
    if (report.header == DumpKind::AllData && report.size_met)
        return "не отправлено: передача всех данных";
    if (report.header == DumpKind::NewData && report.size_met && report.announced == 0)
        return "не отправлено: нет новых данных";
    if (!report.size_met)
        return "не отправлено: передача неполная";
    return kept ? "не отправлено" : "не отправлено: дамп не сохранен на диске";
}

// The road's lines about a capture, above its pass's summary.
std::vector<std::string> CaptureNotes(const CaptureReport& report) {
    std::vector<std::string> notes;
    if (report.size_met && report.header == DumpKind::NewData && report.announced > 0 &&
        !report.acknowledged) {
        notes.push_back(road_text::kUnacknowledged);
    }
    if (!report.size_met) {
        notes.push_back(
            report.header
                ? StringPrintf(road_text::kCut, static_cast<long long>(report.received),
                               static_cast<long long>(report.announced))
                : StringPrintf(road_text::kHeaderless, static_cast<long long>(report.received)));
    }
    return notes;
}

}  // namespace

DecodeJobs::DecodeJobs(const std::string& data_folder, const Settings& settings, RoadEvents& events,
                       Operator& person, const Clock& clock)
    : events_(events),
      person_(person),
      clock_(clock),
      journal_(data_folder),
      archive_(data_folder + "Archive" + SeparatorOf(data_folder)),
      read_log_(data_folder, clock),
      settings_(settings) {
    if (const int code = journal_.Open(); code != 0)
        read_log_.Append("журнал: " + JournalErrorText(code));
}

void DecodeJobs::SetSettings(const Settings& settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
}

Settings DecodeJobs::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

std::variant<CaptureHandle, CaptureRefusal> DecodeJobs::BeginCapture() {
    const std::string in_file = settings().InFile;
    // The dumps not yet delivered, read once: a journal that cannot be read could hide
    // one that the new capture would cut.
    std::vector<RoadJob> waiting;
    int code = journal_.is_open() ? journal_.ReadAll(waiting) : kJournalClosed;
    const auto refuse = [&](int reason) -> std::variant<CaptureHandle, CaptureRefusal> {
        read_log_.Append("считывание не начато: " + JournalErrorText(reason));
        return CaptureRefusal{.path = journal_.folder() + "Korvalen.jnl",
                              .code = JournalSystemCode(reason)};
    };
    if (code != 0)
        return refuse(code);
    int open_error = 0;
    std::optional<File> file = OpenDumpFile(in_file, open_error, [&](const std::string& path) {
        return std::any_of(waiting.begin(), waiting.end(),
                           [&](const RoadJob& job) { return SameFile(job.dump, path); });
    });
    if (!file)
        return CaptureRefusal{.path = in_file, .code = open_error};
    std::string path = file->path();
    const CalendarTime now = clock_.LocalNow();
    std::string job = journal_.NewJobId(now);
    code = journal_.Add(NewJob(job, JobState::Capturing, DumpKind::Cut, ReadAtName(now), path));
    if (code != 0)
        return refuse(code);
    CrashPoint("capturing");
    work_.capture_active = true;
    return CaptureHandle(*this, std::move(*file), std::move(path), std::move(job));
}

CaptureReport DecodeJobs::EndCapture(const CaptureHandle& capture, CaptureReport report,
                                     const std::function<void()>& acknowledge) {
    report.dump = capture.path();
    // A new dump's name must be on the disk as well as its bytes.
    int code = SyncFolder(FolderOfPath(capture.path()));
    if (code == 0) {
        // Where the payload begins: after whatever came before the header.
        const std::optional<std::int64_t> size =
            report.header && report.dump_written ? FileSize(capture.path()) : std::nullopt;
        code = journal_.Change(capture.job(), [&](RoadJob& job) {
            job.state = JobState::Pending;
            job.kind = report.kind();
            if (size && *size >= report.received)
                job.payload_start = *size - report.received;
        });
    }
    if (code != 0) {
        read_log_.Append("дамп " + capture.path() +
                         " не записан в журнал: " + JournalErrorText(code));
    }
    CrashPoint("pending");
    // The reader forgets what it has sent once it is acknowledged: only a complete
    // transfer of new data whose dump is on the disk whole, and known to the journal.
    const bool kept = code == 0 && report.dump_written;
    report.acknowledged =
        kept && report.header == DumpKind::NewData && report.size_met && report.announced > 0;
    if (report.acknowledged)
        acknowledge();
    CrashPoint("sent");
    report.acknowledgement = AcknowledgementText(report, kept);

    CrashPoint("acknowledged");
    std::optional<RoadJob> journalled = journal_.Find(capture.job());
    JobRun run{.job = journalled.value_or(NewJob(capture.job(), JobState::Pending, report.kind(),
                                                 ReadAtName(clock_.LocalNow()), capture.path())),
               .capture = report,
               .notes = CaptureNotes(report),
               .journalled = journalled.has_value(),
               .recovered = false,
               .turn = {}};
    std::vector<JobRun> runs;
    runs.push_back(std::move(run));
    runner_.Start(std::move(runs));
    // Its pass is under way when the capture's end is told: whoever shows a message
    // about it holds up the reading thread, never the dump's delivery.
    events_.CaptureEnded(report);
    return report;
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
            if (runner_.IsRunning(waiting.id))
                return;  // it is being decoded now
            if (waiting.owner != journal_.session()) {
                std::vector<RoadJob> taken;
                journal_.TakeOverAbandoned(taken);
                if (std::none_of(taken.begin(), taken.end(),
                                 [&](const RoadJob& j) { return j.id == waiting.id; })) {
                    events_.RoadLine(StringPrintf(road_text::kHeldElsewhere, path.c_str()));
                    return;
                }
            }
            std::vector<JobRun> runs;
            runs.push_back(RecoveredRun(std::move(waiting)));
            runner_.Start(std::move(runs));
            return;
        }
    }
    // A file of the user's own: without a journal it is decoded all the same, as the
    // tools decode it (the user can decode it again).
    RoadJob job =
        NewJob(journal_.NewJobId(clock_.LocalNow()), JobState::Pending, DumpKind::File, "", path);
    const bool journalled = journal_.is_open() && journal_.Add(job) == 0;
    std::vector<JobRun> runs;
    runs.push_back(FileRun(std::move(job), journalled));
    runner_.Start(std::move(runs));
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
    return static_cast<int>(std::count_if(
        mine.begin(), mine.end(), [&](const RoadJob& job) { return !runner_.IsRunning(job.id); }));
}

}  // namespace korvalen
