// The job owner's recovery: whatever an earlier run left is finished, its moves completed
// or its pass done again from the start.
#include <algorithm>

#include "output/staged_delivery.h"
#include "platform/string_printf.h"
#include "worker/decode_jobs.h"
#include "worker/road_texts.h"

namespace korvalen {
namespace {

std::string CutBackText(CsvCutBack result, int code) {
    return result == CsvCutBack::Appended ? "в него уже записаны строки другого декодирования"
                                          : StringPrintf("код ошибки %i", code);
}

}  // namespace

int DecodeJobs::FinishPending(bool at_start) {
    if (!journal_.is_open()) {
        if (const int code = journal_.Open(); code != 0) {
            events_.RoadLine(
                StringPrintf(road_text::kJournalUnreadable, JournalErrorText(code).c_str()));
            return 0;
        }
    }
    std::vector<RoadJob> jobs;
    std::vector<RoadJob> own;
    int code = journal_.TakeOverAbandoned(jobs);
    if (code == 0)
        code = journal_.Jobs(own);
    if (code != 0) {
        events_.RoadLine(
            StringPrintf(road_text::kJournalUnreadable, JournalErrorText(code).c_str()));
        read_log_.Append("восстановление не выполнено: " + JournalErrorText(code));
        return 0;
    }
    for (RoadJob& mine : own) {
        if (std::none_of(jobs.begin(), jobs.end(),
                         [&](const RoadJob& j) { return j.id == mine.id; }))
            jobs.push_back(std::move(mine));
    }
    std::erase_if(jobs, [&](const RoadJob& j) { return runner_.IsRunning(j.id); });

    // Staging folders left by passes that keep no journal, and empty ones: a folder with
    // a journalled pass's files is its job's to finish, whichever program's it is.
    for (const std::string& kept : SweepStagingFolders(settings().InboxDir).csv_kept)
        events_.RoadLine(StringPrintf(road_text::kSweptKept, kept.c_str()));
    if (at_start)
        archive_.Prune();

    std::vector<JobRun> runs;
    runs.reserve(jobs.size());
    for (RoadJob& job : jobs)
        runs.push_back(RecoveredRun(std::move(job)));
    const int count = static_cast<int>(runs.size());
    runner_.Start(std::move(runs));
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
            events_.RoadLine(StringPrintf(road_text::kCsvKept, job.dump.c_str(), mark.path.c_str(),
                                          why.c_str()));
            read_log_.Append("восстановление " + job.dump + ": CSV-файл " + mark.path +
                             " не возвращен к длине до декодирования (" + why + "), дамп ждет");
            return false;
        }
    }
    if (!job.staging.empty())
        RemoveStagingFolder(job.staging);
    const bool cut_by_the_end = job.state == JobState::Capturing;
    const auto reset = [&](RoadJob& j) {
        if (j.state == JobState::Capturing)
            j.kind = DumpKind::Cut;
        ResetForRedo(j);
    };
    if (journal_.Change(job.id, reset) != 0)
        return false;  // finished meanwhile, or the journal cannot be written: it waits
    reset(job);
    read_log_.Append("восстановление " + job.dump +
                     (cut_by_the_end ? ": считывание было прервано, дамп декодируется"
                                     : ": не был доставлен, декодируется заново"));
    return true;
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
        events_.RoadLine(
            StringPrintf(road_text::kNotPublished, job.dump.c_str(), published.error_code));
        read_log_.Append("восстановление " + job.dump +
                         StringPrintf(": файлы не перемещены в InBox (код ошибки %i), ждут",
                                      published.error_code));
        return;
    }
    if (const int code = journal_.Remove(job.id); code != 0) {
        read_log_.Append("восстановление " + job.dump + ": " + JournalErrorText(code));
        return;
    }
    events_.RoadLine(StringPrintf(road_text::kPublished, job.dump.c_str()));
    read_log_.Append("восстановление " + job.dump +
                     StringPrintf(": файлы доставлены в InBox (%d)", published.moved));
}

}  // namespace korvalen
