// The job owner's passes: each job's dump archived, decoded on its thread, its files
// delivered, and what it came to told and written into the read log.
#include <algorithm>
#include <chrono>
#include <functional>

#include "decode/decoding_pass.h"
#include "decode/reply_header.h"
#include "platform/crash_point.h"
#include "platform/string_printf.h"
#include "worker/decode_jobs.h"
#include "worker/delivered_part.h"
#include "worker/progress_share.h"
#include "worker/road_texts.h"

namespace korvalen {

// The pass's side of a job: its progress on the road's shared progress, the pass count,
// and its steps in the journal, each made on the job as the journal has it.
class DecodeJobs::PassSide final : public PassProgress, public PassJournal {
  public:
    PassSide(DecodeJobs& jobs, RoadJob& job)
        : jobs_(jobs), job_(job), share_(jobs.work_.progress, jobs.events_) {}

    // Whatever ended the pass, the progress and the count are given back.
    ~PassSide() { Finish(); }
    PassSide(const PassSide&) = delete;
    PassSide& operator=(const PassSide&) = delete;

    // Gives the progress and the count back once; whether no other worker shows its
    // progress now.
    bool Finish() {
        if (!std::exchange(started_, false))
            return false;
        const bool free = share_.Release() == 0;
        jobs_.work_.decoding_pass_count.fetch_sub(1);
        if (free)
            jobs_.events_.ProgressMoved({.range = {}, .position = 0});
        return free;
    }

    void Started() override {
        started_ = true;
        jobs_.work_.decoding_pass_count.fetch_add(1);
        jobs_.events_.PassStarted({.job = job_.id, .dump = job_.dump});
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
        const auto commit = [&](RoadJob& job) {
            job.state = JobState::Committed;
            job.files = files;
            job.csv = csv;
        };
        if (!Record(commit))
            return false;
        commit(job_);
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
        run.notes.push_back(StringPrintf(road_text::kRedo, run.job.dump.c_str()));
    }
    DecodeJob(run);
}

void DecodeJobs::DecodeJob(JobRun& run) {
    RoadJob& job = run.job;
    // The transfer is kept first, whatever its pass comes to.
    Archive(job);
    if (run.capture)
        LogCapture(job, *run.capture);
    // A dump that has gone since (removed by hand) is decoded from the archive's copy.
    std::string source = job.dump;
    if (!FileExists(source) && !job.archive.empty() && FileExists(job.archive))
        source = job.archive;

    WorkOutDeliveredPart(run);

    const Settings settings = this->settings();
    DecodingPass pass(settings, source, person_, clock_);
    pass.set_abort(&work_.decoding_abort);
    pass.set_staging_id(job.id);
    pass.set_delivered(job.delivered);
    PassEnd end;
    end.job = job.id;
    end.dump = source;
    const auto pass_start = std::chrono::steady_clock::now();
    int journal_failure = 0;
    {
        PassSide side(*this, job);
        pass.set_progress(&side);
        if (run.journalled)
            pass.set_journal(&side);
        end.opened = pass.Run();
        journal_failure = side.failure();
        end.outcome = pass.outcome();
        end.outcome.milliseconds =
            static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - pass_start)
                                 .count());
        end.progress_free = side.Finish();
    }
    end.outcome.delivered = end.opened && pass.delivered();
    // The road's lines above the summary, the newest on top.
    if (end.opened && !pass.delivered()) {
        end.notes.push_back(StringPrintf(road_text::kUndelivered, job.dump.c_str()));
        if (journal_failure != 0) {
            end.notes.push_back(StringPrintf(road_text::kJournalNotWritten,
                                             JournalErrorText(journal_failure).c_str()));
        }
    }
    if (pass.delivered_before_count() > 0)
        end.notes.push_back(
            StringPrintf(road_text::kDeliveredBefore, pass.delivered_before_count()));
    end.notes.insert(end.notes.end(), run.notes.rbegin(), run.notes.rend());

    // The read log has the pass's line before anyone hears that the job ended.
    if (end.opened)
        read_log_.Append(FormatPassLine(end.outcome));
    if (end.opened && journal_failure != 0)
        read_log_.Append("журнал: " + JournalErrorText(journal_failure) + ", " + job.dump +
                         " ждет");
    events_.PassEnded(end);
    if (!run.journalled)
        return;
    if (!end.opened) {
        // Nothing can come of the job: the dump is gone (the user's own file, or one
        // removed by hand, with no copy in the archive).
        if (job.kind != DumpKind::File && !FileExists(source))
            events_.RoadLine(StringPrintf(road_text::kGone, job.dump.c_str()));
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
        journal_.Change(job.id, [&](RoadJob& j) { ResetForRedo(j, kept); });
    }
}

void DecodeJobs::WorkOutDeliveredPart(JobRun& run) {
    RoadJob& job = run.job;
    if (!run.turn)
        return;
    runner_.WaitForTurn(run);
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

void DecodeJobs::LogCapture(const RoadJob& job, const CaptureReport& report) {
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

}  // namespace korvalen
