// The journal file: its text, the sessions of the processes that share it, its changes.
#include "worker/road_journal.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/string_printf.h"

namespace korvalen {
namespace {

constexpr std::string_view kJournalHead = "Korvalen road journal 1";
constexpr std::string_view kJournalName = "Korvalen.jnl";
constexpr int kMostSessions = 64;

std::string_view StateName(JobState state) {
    switch (state) {
        case JobState::Capturing:
            return "capturing";
        case JobState::Pending:
            return "pending";
        case JobState::Committed:
            return "committed";
    }
    return "pending";
}

std::optional<JobState> StateOf(std::string_view name) {
    for (JobState state : {JobState::Capturing, JobState::Pending, JobState::Committed}) {
        if (StateName(state) == name)
            return state;
    }
    return std::nullopt;
}

std::optional<DumpKind> KindOf(std::string_view name) {
    for (DumpKind kind : {DumpKind::NewData, DumpKind::AllData, DumpKind::Cut, DumpKind::File}) {
        if (DumpKindName(kind) == name)
            return kind;
    }
    return std::nullopt;
}

// "key rest of the line": the key and what follows its blank.
std::pair<std::string_view, std::string_view> SplitLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return {line, {}};
    return {line.substr(0, blank), line.substr(blank + 1)};
}

std::optional<std::int64_t> ParseCount(std::string_view text) {
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string SessionLockName(int session) {
    return StringPrintf("Korvalen-%d.lck", session);
}

}  // namespace

std::string_view DumpKindName(DumpKind kind) {
    switch (kind) {
        case DumpKind::NewData:
            return "ND";
        case DumpKind::AllData:
            return "AD";
        case DumpKind::Cut:
            return "cut";
        case DumpKind::File:
            return "file";
    }
    return "cut";
}

// One job per block: "job ID SESSION STATE KIND", its fields, "end". Paths stand last on
// their lines, so they may hold blanks.
std::string FormatJournal(const std::vector<RoadJob>& jobs) {
    std::string text(kJournalHead);
    text += '\n';
    for (const RoadJob& job : jobs) {
        text += StringPrintf("job %s %d ", job.id.c_str(), job.owner);
        text += std::string(StateName(job.state)) + " " + std::string(DumpKindName(job.kind)) + "\n";
        const auto field = [&](std::string_view key, const std::string& value) {
            if (!value.empty())
                text += std::string(key) + " " + value + "\n";
        };
        field("read", job.read_at);
        field("dump", job.dump);
        field("archive", job.archive);
        field("staging", job.staging);
        field("inbox", job.inbox);
        for (const CsvFileMark& csv : job.csv)
            text += StringPrintf("csv %lld ", static_cast<long long>(csv.length)) + csv.path + "\n";
        text += "end\n";
    }
    return text;
}

std::optional<std::vector<RoadJob>> ParseJournal(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (lines.empty() || lines[0] != kJournalHead)
        return std::nullopt;
    std::vector<RoadJob> jobs;
    std::optional<RoadJob> job;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto [key, rest] = SplitLine(lines[i]);
        if (!job) {
            if (key.empty())
                continue;
            if (key != "job")
                return jobs;  // damaged from here on
            // "ID SESSION STATE KIND"
            std::vector<std::string_view> words;
            for (std::string_view left = rest; !left.empty();) {
                const auto [word, after] = SplitLine(left);
                words.push_back(word);
                left = after;
            }
            const auto owner = words.size() == 4 ? ParseCount(words[1]) : std::nullopt;
            const auto state = words.size() == 4 ? StateOf(words[2]) : std::nullopt;
            const auto kind = words.size() == 4 ? KindOf(words[3]) : std::nullopt;
            if (!owner || !state || !kind || words[0].empty())
                return jobs;
            job.emplace();
            job->id = words[0];
            job->owner = static_cast<int>(*owner);
            job->state = *state;
            job->kind = *kind;
            continue;
        }
        if (key == "end") {
            jobs.push_back(std::move(*job));
            job.reset();
        } else if (key == "read") {
            job->read_at = rest;
        } else if (key == "dump") {
            job->dump = rest;
        } else if (key == "archive") {
            job->archive = rest;
        } else if (key == "staging") {
            job->staging = rest;
        } else if (key == "inbox") {
            job->inbox = rest;
        } else if (key == "csv") {
            const auto [length, path] = SplitLine(rest);
            const auto value = ParseCount(length);
            if (!value || path.empty())
                return jobs;
            job->csv.push_back({std::string(path), *value});
        }
        // Other keys are a later program's: read past them.
    }
    return jobs;  // a job without its "end" is not taken
}

RoadJournal::RoadJournal(std::string data_folder) : folder_(std::move(data_folder)) {}

RoadJournal::~RoadJournal() = default;

std::string RoadJournal::JournalPath() const {
    return folder_ + std::string(kJournalName);
}

bool RoadJournal::Open() {
    CreateFolders(folder_);
    for (int session = 1; session <= kMostSessions; ++session) {
        File lock;
        if (lock.Open(folder_ + SessionLockName(session), OpenMode::AppendOrCreate,
                      Sharing::Exclusive)) {
            session_lock_ = std::move(lock);
            session_ = session;
            return true;
        }
        // A folder that cannot be written refuses every session alike.
        if (!FolderExists(folder_))
            return false;
    }
    return false;
}

std::vector<RoadJob> RoadJournal::ReadAll() const {
    std::string text;
    if (!ReadWholeFile(JournalPath(), text))
        return {};
    return ParseJournal(text).value_or(std::vector<RoadJob>{});
}

template <typename Change>
bool RoadJournal::Update(const Change& change) {
    if (!is_open())
        return false;
    std::lock_guard guard(mutex_);
    File lock;
    const auto give_up = std::chrono::steady_clock::now() + kLockWait;
    while (!lock.Open(JournalPath() + ".lock", OpenMode::AppendOrCreate, Sharing::Exclusive)) {
        if (std::chrono::steady_clock::now() >= give_up)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::vector<RoadJob> jobs = ReadAll();
    if (!change(jobs))
        return true;
    return WriteFileAtomically(JournalPath(), FormatJournal(jobs)) == 0;
}

std::vector<RoadJob> RoadJournal::TakeOverAbandoned() {
    std::vector<RoadJob> taken;
    Update([&](std::vector<RoadJob>& jobs) {
        std::vector<int> alive;  // sessions found held by another process
        for (RoadJob& job : jobs) {
            bool abandoned = job.owner == session_;
            if (!abandoned && std::find(alive.begin(), alive.end(), job.owner) == alive.end()) {
                File other;
                abandoned = other.Open(folder_ + SessionLockName(job.owner),
                                       OpenMode::AppendOrCreate, Sharing::Exclusive);
                if (!abandoned)
                    alive.push_back(job.owner);
            }
            if (abandoned) {
                job.owner = session_;
                taken.push_back(job);
            }
        }
        return !taken.empty();
    });
    return taken;
}

bool RoadJournal::Put(RoadJob job) {
    job.owner = session_;
    return Update([&](std::vector<RoadJob>& jobs) {
        const auto same = std::find_if(jobs.begin(), jobs.end(),
                                       [&](const RoadJob& j) { return j.id == job.id; });
        if (same != jobs.end())
            *same = job;
        else
            jobs.push_back(job);
        return true;
    });
}

bool RoadJournal::Remove(const std::string& id) {
    return Update([&](std::vector<RoadJob>& jobs) {
        const auto before = jobs.size();
        std::erase_if(jobs, [&](const RoadJob& j) { return j.id == id; });
        return jobs.size() != before;
    });
}

std::optional<RoadJob> RoadJournal::Find(const std::string& id) const {
    std::vector<RoadJob> jobs = ReadAll();
    const auto found =
        std::find_if(jobs.begin(), jobs.end(), [&](const RoadJob& j) { return j.id == id; });
    if (found == jobs.end())
        return std::nullopt;
    return std::move(*found);
}

std::vector<RoadJob> RoadJournal::Jobs() const {
    std::vector<RoadJob> mine;
    for (RoadJob& job : ReadAll()) {
        if (job.owner == session_)
            mine.push_back(std::move(job));
    }
    return mine;
}

bool RoadJournal::HoldsDump(const std::string& path) const {
    const std::vector<RoadJob> jobs = ReadAll();
    return std::any_of(jobs.begin(), jobs.end(), [&](const RoadJob& j) { return j.dump == path; });
}

std::string RoadJournal::NewJobId(const CalendarTime& now) const {
    const std::vector<RoadJob> jobs = ReadAll();
    const std::string stem = StringPrintf("%04d%02d%02d-%02d%02d%02d", now.year, now.month,
                                          now.day, now.hour, now.minute, now.second);
    static std::atomic<int> sequence{0};
    for (;;) {
        std::string id = StringPrintf("%s-%d-%d", stem.c_str(), session_, ++sequence);
        if (std::none_of(jobs.begin(), jobs.end(), [&](const RoadJob& j) { return j.id == id; }))
            return id;
    }
}

}  // namespace korvalen
